// Lookup lists, ancestry chains, finds by text and the small catalogue maintenance procedures:
// the short lists behind the selectors, "what does this record belong to", the find dialogs,
// moving kinds and models in their manual order, model names and the element move history.
#include "ServerProcs.h"

#include "Errors.h"
#include "ProcText.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <numeric>

namespace {

using FT = FieldType;
using namespace ProcText;

// The placeholder the firm dialog writes into an empty short name (or one hidden by a trademark);
// it is never a name to show.
const QString ShortNamePlaceholder = QStringLiteral("temp befor delete");

QVariant val(const ResultSet &rs, size_t row, const char *column) {
    return rs.value(row, QLatin1StringView(column));
}

// A result built here under the procedure's declared columns.
ResultSet declared(const ProcedureCall &call) {
    return ResultSet{call.def.columns, {}};
}

// Order values of a manual order: rows without a value come after the numbered ones.
bool orderBefore(const QVariant &a, const QVariant &b) {
    if (a.isNull() != b.isNull())
        return b.isNull();
    return !a.isNull() && a.toLongLong() < b.toLongLong();
}

// The text of a kind in selectors: its name, with the short name in parentheses when that says
// something else; within `width` characters, the short name giving way to the name.
QString kindLabel(const QString &name, const QString &shortName, int width) {
    if (name.isEmpty())
        return cut(shortName, width);
    if (shortName.isEmpty() || FoldText(shortName) == FoldText(name))
        return cut(name, width);
    const qsizetype room = width - name.size() - 3;
    if (room < 1)
        return cut(name, width);
    return name + QStringLiteral(" (") + shortName.left(room).trimmed() + u')';
}

QString typeText(const QString &letter) {
    if (letter == u"D")
        return QStringLiteral("Устройства");
    if (letter == u"H")
        return QStringLiteral("Комплектующие");
    if (letter == u"M")
        return QStringLiteral("Материалы");
    if (letter == u"S")
        return QStringLiteral("Программы");
    return letter;
}

// ---- Find by text -------------------------------------------------------------------------------
//
// The finds look in SQL, never by reading a whole table: departments, workplaces and devices
// through their find texts (FindText, one folded text per row of each, kept by the database and
// indexed by trigrams), kinds and models, short catalogues, by folding their texts in the
// statement. A row is found when every word of the search text occurs in one of the texts its
// search box promises, folded by the one rule of names; an empty or blank text finds nothing. At
// most FindRowLimit + 1 rows come back: the dialog shows FindRowLimit and says when there were more.

// The test "every word occurs in `hay`" in SQL, the words bound as W0, W1 ... (exact
// substrings of a folded text: neither the case rules nor the collation of the engine count).
QString containsAll(Engine e, const QString &hay, const QStringList &words, QVariantMap &params) {
    QStringList tests;
    for (int i = 0; i < words.size(); ++i) {
        const QString name = QStringLiteral("W%1").arg(i);
        params.insert(name, words[i]);
        tests << (e == Engine::PostgreSQL ? QStringLiteral("strpos(%1, CAST(:%2 AS text)) > 0")
                                          : QStringLiteral("instr(%1, :%2) > 0"))
                     .arg(hay, name);
    }
    return tests.join(QStringLiteral(" AND "));
}

// The keys of the rows of one kind of find text ("D", "W", "V") that contain every word, at most
// FindRowLimit + 1 of them, as a sub-select. The trigram index serves the words of three or more
// characters (SQLite's FTS5 index, PostgreSQL's pg_trgm index through LIKE); shorter words are
// checked on the rows it gives, or, when every word is short, by a scan of the texts of that kind.
QString findKeys(Engine e, const char *kind, const QStringList &words, QVariantMap &params) {
    const QString exact = containsAll(e, QStringLiteral("f.Text"), words, params);
    const QString limit = QStringLiteral(" LIMIT %1").arg(FindRowLimit + 1);
    const QString ofKind = QStringLiteral("f.Kind = '%1'").arg(QString::fromLatin1(kind));
    QStringList indexed;
    for (const QString &w : words)
        if (w.toUcs4().size() >= 3)
            indexed << w;
    if (e == Engine::PostgreSQL) {
        QStringList likes;
        for (int i = 0; i < indexed.size(); ++i) {
            const QString name = QStringLiteral("L%1").arg(i);
            params.insert(name, likeContains(indexed[i]));
            likes << QStringLiteral(" AND f.Text LIKE CAST(:%1 AS text) ESCAPE '\\'").arg(name);
        }
        // In key order: for a word that many rows contain, the planner then walks the primary key
        // and stops at the limit, instead of gathering every match from the trigram index (or
        // reading past the other kinds' rows); a rare word still goes through the trigram index.
        // The first rows found are then the same from one search to the next.
        return QStringLiteral("SELECT f.ID FROM FindText f WHERE %1%2 AND %3 ORDER BY f.Kind, f.ID%4")
            .arg(ofKind, likes.join(QString()), exact, limit);
    }
    if (indexed.isEmpty())
        return QStringLiteral("SELECT f.ID FROM FindText f WHERE %1 AND %2%3").arg(ofKind, exact, limit);
    QStringList phrases;
    for (QString w : indexed)
        phrases << u'"' + w.replace(u'"', QStringLiteral("\"\"")) + u'"';
    params.insert(QStringLiteral("M"), phrases.join(u' '));
    return QStringLiteral("SELECT f.ID FROM FindIndex JOIN FindText f ON f.rowid = FindIndex.rowid "
                          "WHERE FindIndex MATCH :M AND %1 AND %2%3")
        .arg(ofKind, exact, limit);
}

// The common end of the finds: rows under the declared columns, ordered by Name.
ResultSet findResult(const ProcedureCall &call, std::vector<QVector<QVariant>> rows) {
    ResultSet out = declared(call);
    out.rows = std::move(rows);
    sortByText(out, 1);
    return out;
}

int nameWidth(const ProcedureCall &call) {
    for (const ColumnInfo &c : call.def.columns)
        if (c.name == u"Name")
            return c.size;
    return 250;
}

// Departments: name and further names are matched; the list shows the name and, for a department
// with a parent, the parent's name, so that equally named departments can be told apart.
ResultSet findDepartment(ProcedureCall &call) {
    const QStringList words = searchWords(call.argText("@NM"));
    if (words.isEmpty())
        return declared(call);
    QVariantMap params;
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT d.IdDepartment, d.DprtName, h.DprtName AS Higher FROM Department d "
            "LEFT JOIN Department h ON h.IdDepartment = d.DprtIdHigher WHERE d.IdDepartment IN (%1)")
            .arg(findKeys(call.cn.engine(), "D", words, params)),
        params);
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QString name = joined({text(rs, i, "DprtName"), text(rs, i, "Higher")}, QStringLiteral(" — "));
        rows.push_back({val(rs, i, "IdDepartment").toInt(), cut(name, width)});
    }
    return findResult(call, std::move(rows));
}

// The person at a workplace as lists show them: the name, else the short name, else the account.
QString userText(const ResultSet &rs, size_t i) {
    for (const char *c : {"UserName", "UserShort", "UserLogin"})
        if (const QString s = text(rs, i, c); !s.isEmpty())
            return s;
    return {};
}

// Workplaces: name, synonyms, telephone and the user (name, short name, account) are matched; the
// list shows "Рабочее место — Отдел, тел. 123, Иванов".
ResultSet findWorkplace(ProcedureCall &call) {
    const QStringList words = searchWords(call.argText("@NM"));
    if (words.isEmpty())
        return declared(call);
    QVariantMap params;
    const ResultSet rs = call.cn.query(
        QStringLiteral("SELECT w.IdWorkplace, w.WrkpName, w.Phone, d.DprtName, u.Name AS UserName, "
                       "u.ShortName AS UserShort, u.[Login] AS UserLogin FROM Workplace w "
                       "LEFT JOIN Department d ON d.IdDepartment = w.WrkpIdDepartment LEFT JOIN [User] u ON "
                       "u.ID = w.[User] "
                       "WHERE w.IdWorkplace IN (%1)")
            .arg(findKeys(call.cn.engine(), "W", words, params)),
        params);
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QString phone = text(rs, i, "Phone");
        const QString head =
            joined({text(rs, i, "WrkpName"), text(rs, i, "DprtName")}, QStringLiteral(" — "));
        const QString name =
            joined({head, phone.isEmpty() ? QString() : QStringLiteral("тел. ") + phone, userText(rs, i)},
                   QStringLiteral(", "));
        rows.push_back({val(rs, i, "IdWorkplace").toInt(), cut(name, width)});
    }
    return findResult(call, std::move(rows));
}

// Devices: the device's name, network name and inventory number and its workplace's name are
// matched (the "extended" search); the list shows "Устройство, инв. 12 — Рабочее место — Отдел".
ResultSet findDevice(ProcedureCall &call) {
    const QStringList words = searchWords(call.argText("@NM"));
    if (words.isEmpty())
        return declared(call);
    QVariantMap params;
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT d.IdDevice, d.DevcName, d.DevcNumber, w.WrkpName, p.DprtName FROM DeviceUnit d "
            "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
            "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment WHERE d.IdDevice IN (%1)")
            .arg(findKeys(call.cn.engine(), "V", words, params)),
        params);
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QString number = text(rs, i, "DevcNumber");
        const QString device =
            joined({text(rs, i, "DevcName"), number.isEmpty() ? QString() : QStringLiteral("инв. ") + number},
                   QStringLiteral(", "));
        const QString name =
            joined({device, text(rs, i, "WrkpName"), text(rs, i, "DprtName")}, QStringLiteral(" — "));
        rows.push_back({val(rs, i, "IdDevice").toInt(), cut(name, width)});
    }
    return findResult(call, std::move(rows));
}

// Kinds of every type: the name and the short name are matched; the list shows the kind as the
// selectors do, followed by its type ("Винчестер (HDD) — Комплектующие").
ResultSet findKind(ProcedureCall &call) {
    const QStringList words = searchWords(call.argText("@NM"));
    if (words.isEmpty())
        return declared(call);
    const Engine e = call.cn.engine();
    QVariantMap params;
    const QString where = containsAll(
        e, foldedTexts(e, {QStringLiteral("KindName"), QStringLiteral("ShortName")}), words, params);
    const ResultSet rs = call.cn.query(
        QStringLiteral("SELECT IdKind, KindName, ShortName, KindType FROM Kind WHERE %1 LIMIT %2")
            .arg(where)
            .arg(FindRowLimit + 1),
        params);
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QString kindName = text(rs, i, "KindName"), shortName = text(rs, i, "ShortName");
        const QString type = text(rs, i, "KindType");
        const QString name =
            joined({kindLabel(kindName, shortName, width), typeText(type)}, QStringLiteral(" — "));
        rows.push_back({val(rs, i, "IdKind").toInt(), cut(name, width), type});
    }
    return findResult(call, std::move(rows));
}

// The producer of a model as text: the trademark, else the short name (unless it is the firm
// dialog's placeholder), else the full name.
QString producerText(const QString &trademark, const QString &shortName, const QString &fullName) {
    if (!trademark.isEmpty())
        return trademark;
    if (!shortName.isEmpty() && shortName.compare(ShortNamePlaceholder, Qt::CaseInsensitive) != 0)
        return shortName;
    return fullName;
}

// Models: the name (and number), the characteristics and note, and the producer (display name,
// trademark, full and short names) are matched; the list shows "HP 12A — Картридж, 2000 стр.".
ResultSet findModel(ProcedureCall &call) {
    const QStringList words = searchWords(call.argText("@NM"));
    if (words.isEmpty())
        return declared(call);
    const Engine e = call.cn.engine();
    QVariantMap params;
    params.insert(QStringLiteral("PH"), ShortNamePlaceholder);
    const QString hay = foldedTexts(
        e,
        {QStringLiteral("m.ModlName"), QStringLiteral("m.ModlNumber"), QStringLiteral("m.DisplayParameters"),
         QStringLiteral("c.DisplayName"), QStringLiteral("t.Name"), QStringLiteral("c.ClntNameFull"),
         QStringLiteral("CASE WHEN lower(c.ClntNameShort) = :PH THEN NULL ELSE c.ClntNameShort END")});
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT m.IdModel, m.ModlName, m.ModlNumber, m.ModlParametersValue, m.ModlKind, "
            "k.KindType, k.KindName FROM Model m "
            "LEFT JOIN Kind k ON k.IdKind = m.ModlKind LEFT JOIN Client c ON c.IdClient = m.ModlIdProducer "
            "LEFT JOIN Trademark t ON t.ID = c.Trademark WHERE %1 LIMIT %2")
            .arg(containsAll(e, hay, words, params))
            .arg(FindRowLimit + 1),
        params);
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        QString model = text(rs, i, "ModlName");
        if (model.isEmpty())
            model = text(rs, i, "ModlNumber");
        const QString kind =
            joined({text(rs, i, "KindName"), text(rs, i, "ModlParametersValue")}, QStringLiteral(", "));
        const QVariant kindKey = val(rs, i, "ModlKind");
        rows.push_back({val(rs, i, "IdModel").toInt(),
                        cut(joined({model, kind}, QStringLiteral(" — ")), width),
                        kindKey.isNull() ? QVariant() : QVariant(kindKey.toInt()), text(rs, i, "KindType")});
    }
    return findResult(call, std::move(rows));
}

// ---- Manual order -------------------------------------------------------------------------------

// Moves a row one place up (dr < 0) or down (dr > 0) in the manual order of its siblings (the rows
// with the same parent value). The siblings are first numbered 1..n in the order the lists show
// them (rows without an order value last; equal values by `tieName` when given, as the model list
// and lookup show models of equal weight by name, then by key), so that missing or repeated values still move
// predictably; then the row swaps places with its neighbour. At the first or last place, for an
// unknown key or a direction of 0 nothing is written. Only order values that change are written;
// the row version stays, since no edit dialog writes the order.
void moveAmongSiblings(Connection &cn, const QString &table, const QString &key, const QString &parent,
                       const QString &order, const QString &tieName, const QVariant &id, int dr) {
    if (id.isNull() || dr == 0)
        return;
    const ResultSet self = cn.query(
        QStringLiteral("SELECT %1 AS Parent FROM %2 WHERE %3 = CAST(:K AS integer)").arg(parent, table, key),
        {{QStringLiteral("K"), id}});
    if (self.rows.empty())
        return;
    const QVariant parentValue = self.rows.front().front();
    // On the shared server two workstations may move siblings at the same time: the rows are
    // locked until the end of the call, so that one numbering follows the other. Only their order
    // changes, never their keys, so the lock leaves rows that reference them free to be added (a
    // device of the kind being cloned meanwhile would otherwise deadlock against this move).
    const QString lock = cn.engine() == Engine::PostgreSQL ? QStringLiteral(" FOR NO KEY UPDATE") : QString();
    const QString where = parentValue.isNull() ? QStringLiteral("%1 IS NULL").arg(parent)
                                               : QStringLiteral("%1 = :P").arg(parent);
    const ResultSet sib = cn.query(
        QStringLiteral("SELECT %1 AS K, %2 AS O, %3 AS N FROM %4 WHERE %5%6")
            .arg(key, order, tieName.isEmpty() ? QStringLiteral("NULL") : tieName, table, where, lock),
        {{QStringLiteral("P"), parentValue}});

    struct Sibling {
        qint64 key;
        QVariant order;
        QString name;
    };
    std::vector<Sibling> rows;
    for (const auto &r : sib.rows)
        rows.push_back({r[0].toLongLong(), r[1], r[2].toString()});
    std::sort(rows.begin(), rows.end(), [](const Sibling &a, const Sibling &b) {
        if (orderBefore(a.order, b.order))
            return true;
        if (orderBefore(b.order, a.order))
            return false;
        if (const int c = CompareText(a.name, b.name); c != 0)
            return c < 0;
        return a.key < b.key;
    });
    const auto at =
        std::find_if(rows.begin(), rows.end(), [&](const Sibling &s) { return s.key == id.toLongLong(); });
    if (at == rows.end())
        return;
    const qsizetype i = at - rows.begin();
    const qsizetype j = i + (dr < 0 ? -1 : 1);
    if (j < 0 || j >= qsizetype(rows.size()))
        return;
    std::swap(rows[size_t(i)], rows[size_t(j)]);
    const QString update = QStringLiteral("UPDATE %1 SET %2 = :O WHERE %3 = :K").arg(table, order, key);
    for (size_t n = 0; n < rows.size(); ++n) {
        const qint64 wanted = qint64(n) + 1;
        if (rows[n].order.isNull() || rows[n].order.toLongLong() != wanted)
            cn.execute(update, {{QStringLiteral("O"), wanted}, {QStringLiteral("K"), rows[n].key}});
    }
}

// ---- Element moves ------------------------------------------------------------------------------

// Where an element stands, as the move history shows it: the department path from the top, the
// workplace and the device, joined by " / " ("Управление / Бухгалтерия / Стол 3 / ПК-12").
QString elementPlace(Connection &cn, const ResultSet &element) {
    QStringList departments;
    QVariant dep = val(element, 0, "WrkpIdDepartment");
    QSet<qint64> seen; // a department placed under its own descendant must not loop forever
    while (!dep.isNull() && !seen.contains(dep.toLongLong())) {
        seen.insert(dep.toLongLong());
        const ResultSet d =
            cn.query(QStringLiteral("SELECT DprtName, DprtIdHigher FROM Department WHERE IdDepartment = :D"),
                     {{QStringLiteral("D"), dep}});
        if (d.rows.empty())
            break;
        departments.prepend(text(d, 0, "DprtName"));
        dep = val(d, 0, "DprtIdHigher");
    }
    QStringList parts = departments;
    parts << text(element, 0, "WrkpName") << text(element, 0, "DevcName");
    QString place = joined(parts, QStringLiteral(" / "));
    // Too deep a path for the column keeps its end: the device and workplace say the most.
    constexpr int Width = 500;
    if (place.size() > Width)
        place = QStringLiteral("…") + place.right(Width - 1);
    return place;
}

QString elementCode(const QVariant &key) {
    return QStringLiteral("%1").arg(key.toLongLong(), 4, 16, QLatin1Char('0')).toUpper();
}

void registerLookups() {
    // Kinds of one type in their manual order (rows without an order last, then by key).
    Proc::add(QStringLiteral("LookKind"), {Proc::in("@TP", FT::String, 1)},
              {Proc::col("ID", FT::SmallInt), Proc::col("Name", FT::String, 52),
               Proc::col("KindType", FT::FixedChar, 1)},
              [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(
                      QStringLiteral("SELECT IdKind, KindName, ShortName, KindType, KindOrder FROM Kind "
                                     "WHERE KindType = CAST(:T AS varchar(1))"),
                      {{QStringLiteral("T"), call.argText("@TP").toUpper()}});
                  std::vector<size_t> idx(rs.rows.size());
                  std::iota(idx.begin(), idx.end(), size_t(0));
                  std::sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
                      const QVariant oa = val(rs, a, "KindOrder"), ob = val(rs, b, "KindOrder");
                      if (orderBefore(oa, ob) || orderBefore(ob, oa))
                          return orderBefore(oa, ob);
                      return val(rs, a, "IdKind").toInt() < val(rs, b, "IdKind").toInt();
                  });
                  ResultSet out = declared(call);
                  for (size_t i : idx)
                      out.rows.push_back({val(rs, i, "IdKind").toInt(),
                                          kindLabel(text(rs, i, "KindName"), text(rs, i, "ShortName"), 52),
                                          text(rs, i, "KindType")});
                  return out;
              });

    // Models of one kind in their manual order (ModlWeight, rows without one last), then by name.
    Proc::add(QStringLiteral("LookUpModel"), {Proc::in("@KD", FT::Integer)},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 60),
               Proc::col("Parameters", FT::String, 203)},
              [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(
                      QStringLiteral(
                          "SELECT IdModel, ModlName, ModlNumber, DisplayParameters, ModlWeight FROM Model "
                          "WHERE ModlKind = CAST(:K AS integer)"),
                      {{QStringLiteral("K"), call.arg("@KD")}});
                  // Each row carries its weight as a fourth value while it is sorted.
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i) {
                      QString name = text(rs, i, "ModlName");
                      if (name.isEmpty())
                          name = text(rs, i, "ModlNumber");
                      const QString params = text(rs, i, "DisplayParameters");
                      out.rows.push_back({val(rs, i, "IdModel").toInt(), cut(name, 60),
                                          params.isEmpty() ? QVariant() : QVariant(cut(params, 203)),
                                          val(rs, i, "ModlWeight")});
                  }
                  // By name first, then stably by weight: equal weights keep the name order.
                  sortByText(out, 1);
                  std::stable_sort(out.rows.begin(), out.rows.end(),
                                   [](const QVector<QVariant> &a, const QVector<QVariant> &b) {
                                       return orderBefore(a[3], b[3]);
                                   });
                  for (auto &r : out.rows)
                      r.resize(3);
                  return out;
              });

    // Every firm, by its display name (trademark and full name, kept by the database).
    Proc::add(QStringLiteral("LookUpClient"), {},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 122)}, [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(QStringLiteral(
                      "SELECT IdClient, DisplayName, ClntNameFull, ClntNameShort FROM Client"));
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i) {
                      QString name = text(rs, i, "DisplayName");
                      if (name.isEmpty())
                          name = producerText({}, text(rs, i, "ClntNameShort"), text(rs, i, "ClntNameFull"));
                      out.rows.push_back({val(rs, i, "IdClient").toInt(), cut(name, 122)});
                  }
                  sortByText(out, 1);
                  return out;
              });

    // Every incoming document, newest first (by date, documents without one last; then the newest
    // key first), shown as "Накладная № 17 от 05.03.2014, Поставщик"; missing parts are left out.
    Proc::add(
        QStringLiteral("LookUpDocument"), {},
        {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 232), Proc::col("Date", FT::DateTime)},
        [](ProcedureCall &call) {
            const ResultSet rs =
                call.cn.query(QStringLiteral("SELECT d.IdDocument, d.DocNumber, d.DocDate, d.DocKind, k.Name "
                                             "AS KindName, c.DisplayName AS Supplier "
                                             "FROM Document d LEFT JOIN DocKind k ON k.ID = d.DocKind LEFT "
                                             "JOIN Client c ON c.IdClient = d.DocClient"));
            ResultSet out = declared(call);
            // The order's keys are worked out once per row: comparing the dates themselves would
            // convert them at every comparison, which for 25 000 documents cost more than reading them.
            struct Key {
                bool dated;
                qint64 day;
                int msecs, id;
            };
            std::vector<Key> keys;
            keys.reserve(rs.rows.size());
            out.rows.reserve(rs.rows.size());
            QHash<qint64, QString> days; // a few dates among many documents: each one's text once
            for (size_t i = 0; i < rs.rows.size(); ++i) {
                const QVariant date = normalizeValue(FT::DateTime, val(rs, i, "DocDate"));
                const QDateTime when = date.toDateTime();
                QString kind = text(rs, i, "KindName");
                if (kind.isEmpty())
                    kind = text(rs, i, "DocKind");
                if (kind.isEmpty())
                    kind = QStringLiteral("Документ");
                const QString number = text(rs, i, "DocNumber");
                QString name = kind;
                if (!number.isEmpty())
                    name += QStringLiteral(" № ") + number;
                if (!date.isNull()) {
                    const qint64 day = when.date().toJulianDay();
                    auto it = days.constFind(day);
                    if (it == days.constEnd())
                        it = days.insert(day, when.date().toString(QStringLiteral("dd.MM.yyyy")));
                    name += QStringLiteral(" от ") + *it;
                }
                if (const QString supplier = text(rs, i, "Supplier"); !supplier.isEmpty())
                    name += QStringLiteral(", ") + supplier;
                const int id = val(rs, i, "IdDocument").toInt();
                keys.push_back({!date.isNull(), date.isNull() ? 0 : when.date().toJulianDay(),
                                date.isNull() ? 0 : when.time().msecsSinceStartOfDay(), id});
                out.rows.push_back({id, cut(name, 232), date});
            }
            std::vector<size_t> order(out.rows.size());
            std::iota(order.begin(), order.end(), size_t(0));
            std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
                const Key &a = keys[x], &b = keys[y];
                if (a.dated != b.dated)
                    return a.dated;
                if (a.day != b.day)
                    return a.day > b.day;
                if (a.msecs != b.msecs)
                    return a.msecs > b.msecs;
                return a.id > b.id;
            });
            std::vector<QVector<QVariant>> sorted;
            sorted.reserve(order.size());
            for (size_t i : order)
                sorted.push_back(std::move(out.rows[i]));
            out.rows = std::move(sorted);
            return out;
        });

    // Every trademark, by name.
    Proc::add(QStringLiteral("LookUpTrademark"), {},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 122)}, [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(QStringLiteral("SELECT ID, Name FROM Trademark"));
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i)
                      out.rows.push_back({val(rs, i, "ID").toInt(), cut(text(rs, i, "Name"), 122)});
                  sortByText(out, 1);
                  return out;
              });

    // The devices of the department where an element (@R = 0) or a device (@R = 1) stands, that
    // device included, as "Устройство — Рабочее место", in the order of the placement tree
    // (workplaces by their order, devices by name). Only the department's own workplaces count,
    // not those of departments below it. An unknown key gives no rows.
    Proc::add(
        QStringLiteral("LookupDeviceAtDepartment"),
        {Proc::in("@CS", FT::Integer), Proc::in("@R", FT::Integer)},
        {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 103)}, [](ProcedureCall &call) {
            const bool device = call.argInt("@R", 0) == 1;
            const QString find =
                device
                    ? QStringLiteral(
                          "SELECT w.WrkpIdDepartment FROM DeviceUnit d "
                          "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE d.IdDevice = :K")
                    : QStringLiteral(
                          "SELECT w.WrkpIdDepartment FROM CompleteSet c "
                          "JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                          "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE c.IdComponent = :K");
            ResultSet out = declared(call);
            const ResultSet where = call.cn.query(find, {{QStringLiteral("K"), call.arg("@CS")}});
            if (where.rows.empty() || where.rows.front().front().isNull())
                return out;
            const ResultSet rs = call.cn.query(
                QStringLiteral(
                    "SELECT d.IdDevice, d.DevcName, w.WrkpName, w.WrkpOrder, w.IdWorkplace FROM DeviceUnit d "
                    "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE w.WrkpIdDepartment = :D"),
                {{QStringLiteral("D"), where.rows.front().front()}});
            std::vector<size_t> idx(rs.rows.size());
            std::iota(idx.begin(), idx.end(), size_t(0));
            std::sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
                const QVariant oa = val(rs, a, "WrkpOrder"), ob = val(rs, b, "WrkpOrder");
                if (orderBefore(oa, ob) || orderBefore(ob, oa))
                    return orderBefore(oa, ob);
                const int wa = val(rs, a, "IdWorkplace").toInt(), wb = val(rs, b, "IdWorkplace").toInt();
                if (wa != wb)
                    return wa < wb;
                if (const int c = CompareText(text(rs, a, "DevcName"), text(rs, b, "DevcName")); c != 0)
                    return c < 0;
                return val(rs, a, "IdDevice").toInt() < val(rs, b, "IdDevice").toInt();
            });
            for (size_t i : idx)
                out.rows.push_back(
                    {val(rs, i, "IdDevice").toInt(),
                     cut(joined({text(rs, i, "DevcName"), text(rs, i, "WrkpName")}, QStringLiteral(" — ")),
                         103)});
            return out;
        });
}

// Each chain returns one row for an existing key and none for a missing one; the caller reads an
// empty result as zeros (and type "D" for a kind).
void registerChains() {
    Proc::add(
        QStringLiteral("ChainComponent"), {Proc::in("@CM", FT::Integer)},
        {Proc::col("IDComponent", FT::Integer), Proc::col("IDDevice", FT::Integer),
         Proc::col("IDModel", FT::Integer), Proc::col("IDKind", FT::SmallInt),
         Proc::col("IDType", FT::FixedChar, 1), Proc::col("IDDocument", FT::Integer),
         Proc::col("NBPosition", FT::SmallInt), Proc::col("IDShipper", FT::Integer),
         Proc::col("IDShipperTM", FT::SmallInt), Proc::col("IDProducer", FT::Integer),
         Proc::col("IDProducerTM", FT::SmallInt)},
        [](ProcedureCall &call) {
            // The kind is the model's; an element without a model keeps the kind it was given.
            return call.cn.query(
                QStringLiteral(
                    "SELECT c.IdComponent AS IDComponent, c.CmplIdDevice AS IDDevice, c.CmplIdModel AS "
                    "IDModel, "
                    "k.IdKind AS IDKind, k.KindType AS IDType, c.DocumentId AS IDDocument, "
                    "c.DocumentPosition AS NBPosition, d.DocClient AS IDShipper, s.Trademark AS IDShipperTM, "
                    "m.ModlIdProducer AS IDProducer, p.Trademark AS IDProducerTM FROM CompleteSet c "
                    "LEFT JOIN Model m ON m.IdModel = c.CmplIdModel "
                    "LEFT JOIN Kind k ON k.IdKind = coalesce(m.ModlKind, c.ModelKind) "
                    "LEFT JOIN Document d ON d.IdDocument = c.DocumentId "
                    "LEFT JOIN Client s ON s.IdClient = d.DocClient "
                    "LEFT JOIN Client p ON p.IdClient = m.ModlIdProducer WHERE c.IdComponent = :K"),
                {{QStringLiteral("K"), call.arg("@CM")}});
        });

    Proc::add(
        QStringLiteral("ChainModel"), {Proc::in("@MD", FT::Integer)},
        {Proc::col("IDModel", FT::Integer), Proc::col("IDKind", FT::SmallInt),
         Proc::col("IDType", FT::FixedChar, 1), Proc::col("IDProducer", FT::Integer),
         Proc::col("IDProducerTM", FT::SmallInt)},
        [](ProcedureCall &call) {
            return call.cn.query(
                QStringLiteral("SELECT m.IdModel AS IDModel, k.IdKind AS IDKind, k.KindType AS IDType, "
                               "m.ModlIdProducer AS IDProducer, p.Trademark AS IDProducerTM FROM Model m "
                               "LEFT JOIN Kind k ON k.IdKind = m.ModlKind "
                               "LEFT JOIN Client p ON p.IdClient = m.ModlIdProducer WHERE m.IdModel = :K"),
                {{QStringLiteral("K"), call.arg("@MD")}});
        });

    Proc::add(QStringLiteral("ChainKind"), {Proc::in("@KD", FT::Integer)},
              {Proc::col("IDKind", FT::SmallInt), Proc::col("IDType", FT::FixedChar, 1)},
              [](ProcedureCall &call) {
                  // Cast: a key beyond the range of the smallint column is simply not found.
                  return call.cn.query(QStringLiteral("SELECT IdKind AS IDKind, KindType AS IDType FROM Kind "
                                                      "WHERE IdKind = CAST(:K AS integer)"),
                                       {{QStringLiteral("K"), call.arg("@KD")}});
              });

    Proc::add(QStringLiteral("ChainDevice"), {Proc::in("@DV", FT::Integer)},
              {Proc::col("IDDevice", FT::Integer), Proc::col("IDKind", FT::SmallInt),
               Proc::col("IDWorkplace", FT::Integer), Proc::col("IDDepartment", FT::Integer)},
              [](ProcedureCall &call) {
                  return call.cn.query(
                      QStringLiteral(
                          "SELECT d.IdDevice AS IDDevice, d.DevcIdKind AS IDKind, d.DevcIdWorkplace AS "
                          "IDWorkplace, "
                          "w.WrkpIdDepartment AS IDDepartment FROM DeviceUnit d "
                          "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE d.IdDevice = :K"),
                      {{QStringLiteral("K"), call.arg("@DV")}});
              });

    Proc::add(QStringLiteral("ChainWorkplace"), {Proc::in("@WP", FT::Integer)},
              {Proc::col("IDWorkplace", FT::Integer), Proc::col("IDDepartment", FT::Integer)},
              [](ProcedureCall &call) {
                  return call.cn.query(
                      QStringLiteral("SELECT IdWorkplace AS IDWorkplace, WrkpIdDepartment AS IDDepartment "
                                     "FROM Workplace WHERE IdWorkplace = :K"),
                      {{QStringLiteral("K"), call.arg("@WP")}});
              });
}

void registerFinds() {
    const auto nm = [] { return QVector<Parameter>{Proc::in("@NM", FT::String, 150)}; };
    Proc::add(QStringLiteral("FindDepartment"), nm(),
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 50)}, findDepartment);
    Proc::add(QStringLiteral("FindWorkplace"), nm(),
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 250)}, findWorkplace);
    Proc::add(QStringLiteral("FindDevice"), nm(),
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 250)}, findDevice);
    Proc::add(QStringLiteral("FindKind"), nm(),
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 250),
               Proc::col("KindType", FT::FixedChar, 1)},
              findKind);
    Proc::add(QStringLiteral("FindModel"), nm(),
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 250),
               Proc::col("Kind", FT::SmallInt), Proc::col("KindType", FT::FixedChar, 1)},
              findModel);
}

void registerMaintenance() {
    // A kind moves among the kinds of its type.
    Proc::add(QStringLiteral("MoveKind"), {Proc::req("@KD", FT::Integer), Proc::req("@DR", FT::Integer)}, {},
              [](ProcedureCall &call) {
                  moveAmongSiblings(call.cn, QStringLiteral("Kind"), QStringLiteral("IdKind"),
                                    QStringLiteral("KindType"), QStringLiteral("KindOrder"), QString(),
                                    call.arg("@KD"), call.argInt("@DR", 0));
                  return Proc::none();
              });

    // A model moves among the models of its kind.
    Proc::add(QStringLiteral("MoveModel"), {Proc::req("@MD", FT::Integer), Proc::req("@DR", FT::Integer)}, {},
              [](ProcedureCall &call) {
                  moveAmongSiblings(call.cn, QStringLiteral("Model"), QStringLiteral("IdModel"),
                                    QStringLiteral("ModlKind"), QStringLiteral("ModlWeight"),
                                    QStringLiteral("ModlName"), call.arg("@MD"), call.argInt("@DR", 0));
                  return Proc::none();
              });

    // The display name of a model: the number alone when @NO is set or there is no producer (@PR 0,
    // NULL or a firm that does not exist); otherwise the producer's text (see producerText) and the
    // number, separated by a blank. Trimmed and cut to the 60 characters of Model.ModlName.
    Proc::add(QStringLiteral("CalcModelName"),
              {Proc::in("@NB", FT::String, 30), Proc::in("@NO", FT::Boolean), Proc::in("@PR", FT::Integer),
               Proc::out("@Name", FT::String, 60)},
              {}, [](ProcedureCall &call) {
                  const QString number = call.argText("@NB");
                  QString producer;
                  const int pr = call.argInt("@PR", 0);
                  if (!call.arg("@NO").toBool() && pr != 0) {
                      const ResultSet rs = call.cn.query(
                          QStringLiteral(
                              "SELECT c.ClntNameFull, c.ClntNameShort, t.Name AS TradeName FROM Client c "
                              "LEFT JOIN Trademark t ON t.ID = c.Trademark WHERE c.IdClient = :P"),
                          {{QStringLiteral("P"), pr}});
                      if (!rs.rows.empty())
                          producer = producerText(text(rs, 0, "TradeName"), text(rs, 0, "ClntNameShort"),
                                                  text(rs, 0, "ClntNameFull"));
                  }
                  call.setOut("@Name", cut(joined({producer, number}, QStringLiteral(" ")), 60));
                  return Proc::none();
              });

    // Records where an element stands now as one row of its move history, at the current time.
    // Every call adds a row, even when the place is the same as the last one: the move list tells
    // a move by its number of rows changing.
    Proc::add(
        QStringLiteral("ExeElementMoveDocument"), {Proc::in("@EL", FT::Integer)}, {},
        [](ProcedureCall &call) {
            const QVariant key = call.arg("@EL");
            if (key.isNull())
                throw AppError(QStringLiteral("Не указан элемент, перемещение которого нужно записать"));
            const ResultSet element = call.cn.query(
                QStringLiteral(
                    "SELECT c.IdComponent, d.DevcName, w.WrkpName, w.WrkpIdDepartment FROM CompleteSet c "
                    "LEFT JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                    "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE c.IdComponent = :K"),
                {{QStringLiteral("K"), key}});
            if (element.rows.empty())
                throw AppError(
                    QStringLiteral("Элемент %1 не найден: возможно, его удалил другой пользователь")
                        .arg(elementCode(key)));
            const QDateTime now = QDateTime::currentDateTime();
            const QDateTime moving(now.date(),
                                   QTime(now.time().hour(), now.time().minute(), now.time().second()));
            call.cn.execute(
                QStringLiteral("INSERT INTO ElementMove (IdComponent, Moving, Place) VALUES (:C, :M, :P)"),
                {{QStringLiteral("C"), key},
                 {QStringLiteral("M"), moving},
                 {QStringLiteral("P"), elementPlace(call.cn, element)}});
            return Proc::none();
        });

    // The move history of an element, newest first (equal times: the later row first).
    Proc::add(QStringLiteral("GridDisplacement"), {Proc::in("@CS", FT::Integer)},
              {Proc::col("ID", FT::Integer), Proc::col("Moving", FT::DateTime),
               Proc::col("Place", FT::String, 500)},
              [](ProcedureCall &call) {
                  return call.cn.query(
                      QStringLiteral("SELECT ID, Moving, Place FROM ElementMove WHERE IdComponent = :K "
                                     "ORDER BY Moving DESC, ID DESC"),
                      {{QStringLiteral("K"), call.arg("@CS")}});
              });
}

} // namespace

void registerLookupProcedures() {
    registerLookups();
    registerChains();
    registerFinds();
    registerMaintenance();
}
