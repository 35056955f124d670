// Lookup lists, ancestry chains, finds by text and the small catalogue maintenance procedures:
// the short lists behind the selectors, "what does this record belong to", the find dialogs,
// moving kinds and models in their manual order, model names and the element move history.
#include "ServerProcs.h"

#include "Errors.h"

#include <QDateTime>
#include <QSet>
#include <algorithm>
#include <numeric>

namespace {

using FT = FieldType;

// The placeholder the firm dialog writes into an empty short name (or one hidden by a trademark);
// it is never a name to show.
const QString ShortNamePlaceholder = QStringLiteral("temp befor delete");

QString cut(const QString &s, int width) { return s.size() > width ? s.left(width).trimmed() : s; }

QString str(const ResultSet &rs, size_t row, const char *column)
{
    return rs.value(row, QString::fromLatin1(column)).toString().trimmed();
}

QVariant val(const ResultSet &rs, size_t row, const char *column) { return rs.value(row, QString::fromLatin1(column)); }

// Case folding for matching and ordering: Cyrillic and Latin alike (SQLite's lower() and LIKE fold
// ASCII only, so the folding is done here for both engines), and "ё" is read as "е", as people type it.
QString fold(const QString &s)
{
    QString f = s.toCaseFolded();
    f.replace(u'ё', u'е');
    return f;
}

// Parts joined by a separator, empty parts left out.
QString joined(const QStringList &parts, const QString &sep)
{
    QStringList kept;
    for (const QString &p : parts)
        if (!p.trimmed().isEmpty())
            kept << p.trimmed();
    return kept.join(sep);
}

// A result built here under the procedure's declared columns.
ResultSet declared(const ProcedureCall &call) { return ResultSet{call.def.columns, {}}; }

// Orders rows by the text of one column without regard to case (the same on both engines, whatever
// the database's collation), then by the exact text, then by the key column.
void sortByText(ResultSet &rs, int textColumn, int keyColumn = 0)
{
    std::vector<QString> keys;
    keys.reserve(rs.rows.size());
    for (const auto &r : rs.rows)
        keys.push_back(fold(r[textColumn].toString()));
    std::vector<size_t> idx(rs.rows.size());
    std::iota(idx.begin(), idx.end(), size_t(0));
    std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
        if (const int c = keys[a].compare(keys[b]); c != 0)
            return c < 0;
        const QString ta = rs.rows[a][textColumn].toString(), tb = rs.rows[b][textColumn].toString();
        if (const int c = ta.compare(tb); c != 0)
            return c < 0;
        return rs.rows[a][keyColumn].toLongLong() < rs.rows[b][keyColumn].toLongLong();
    });
    std::vector<QVector<QVariant>> sorted;
    sorted.reserve(idx.size());
    for (size_t i : idx)
        sorted.push_back(std::move(rs.rows[i]));
    rs.rows = std::move(sorted);
}

// Order values of a manual order: rows without a value come after the numbered ones.
bool orderBefore(const QVariant &a, const QVariant &b)
{
    if (a.isNull() != b.isNull())
        return b.isNull();
    return !a.isNull() && a.toLongLong() < b.toLongLong();
}

// The text of a kind in selectors: its name, with the short name in parentheses when that says
// something else; within `width` characters, the short name giving way to the name.
QString kindLabel(const QString &name, const QString &shortName, int width)
{
    if (name.isEmpty())
        return cut(shortName, width);
    if (shortName.isEmpty() || fold(shortName) == fold(name))
        return cut(name, width);
    const qsizetype room = width - name.size() - 3;
    if (room < 1)
        return cut(name, width);
    return name + QStringLiteral(" (") + shortName.left(room).trimmed() + u')';
}

QString typeText(const QString &letter)
{
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

// The words of a search text. A row is found when every word occurs, in any case, in one of the
// texts its search box promises; an empty search text finds every row.
QStringList searchWords(const QString &text) { return fold(text).simplified().split(u' ', Qt::SkipEmptyParts); }

bool matches(const QStringList &words, const QStringList &texts)
{
    if (words.isEmpty())
        return true;
    // Separated by a line break, so that a word never matches across two texts.
    const QString hay = fold(texts.join(u'\n'));
    return std::all_of(words.cbegin(), words.cend(), [&](const QString &w) { return hay.contains(w); });
}

// The common end of the finds: rows under the declared columns, ordered by Name.
ResultSet findResult(const ProcedureCall &call, std::vector<QVector<QVariant>> rows)
{
    ResultSet out = declared(call);
    out.rows = std::move(rows);
    sortByText(out, 1);
    return out;
}

int nameWidth(const ProcedureCall &call)
{
    for (const ColumnInfo &c : call.def.columns)
        if (c.name == u"Name")
            return c.size;
    return 250;
}

// Departments: name and further names are matched; the list shows the name and, for a department
// with a parent, the parent's name, so that equally named departments can be told apart.
ResultSet findDepartment(ProcedureCall &call)
{
    const QStringList words = searchWords(call.argText("@NM"));
    const ResultSet rs = call.cn.query(QStringLiteral(
        "SELECT d.IdDepartment, d.DprtName, d.Synonym, h.DprtName AS Higher FROM Department d "
        "LEFT JOIN Department h ON h.IdDepartment = d.DprtIdHigher"));
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        if (!matches(words, {str(rs, i, "DprtName"), str(rs, i, "Synonym")}))
            continue;
        const QString name = joined({str(rs, i, "DprtName"), str(rs, i, "Higher")}, QStringLiteral(" — "));
        rows.push_back({val(rs, i, "IdDepartment").toInt(), cut(name, width)});
    }
    return findResult(call, std::move(rows));
}

// The person at a workplace as lists show them: the name, else the short name, else the account.
QString userText(const ResultSet &rs, size_t i)
{
    for (const char *c : {"UserName", "UserShort", "UserLogin"})
        if (const QString s = str(rs, i, c); !s.isEmpty())
            return s;
    return {};
}

// Workplaces: name, synonyms, telephone and the user (name, short name, account) are matched; the
// list shows "Рабочее место — Отдел, тел. 123, Иванов".
ResultSet findWorkplace(ProcedureCall &call)
{
    const QStringList words = searchWords(call.argText("@NM"));
    const ResultSet rs = call.cn.query(QStringLiteral(
        "SELECT w.IdWorkplace, w.WrkpName, w.Synonym, w.Phone, d.DprtName, u.Name AS UserName, "
        "u.ShortName AS UserShort, u.[Login] AS UserLogin FROM Workplace w "
        "LEFT JOIN Department d ON d.IdDepartment = w.WrkpIdDepartment LEFT JOIN [User] u ON u.ID = w.[User]"));
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QString phone = str(rs, i, "Phone");
        if (!matches(words, {str(rs, i, "WrkpName"), str(rs, i, "Synonym"), phone, str(rs, i, "UserName"),
                             str(rs, i, "UserShort"), str(rs, i, "UserLogin")}))
            continue;
        const QString head = joined({str(rs, i, "WrkpName"), str(rs, i, "DprtName")}, QStringLiteral(" — "));
        const QString name = joined({head, phone.isEmpty() ? QString() : QStringLiteral("тел. ") + phone, userText(rs, i)},
                                    QStringLiteral(", "));
        rows.push_back({val(rs, i, "IdWorkplace").toInt(), cut(name, width)});
    }
    return findResult(call, std::move(rows));
}

// Devices: the device's name, network name and inventory number and its workplace's name are
// matched (the "extended" search); the list shows "Устройство, инв. 12 — Рабочее место — Отдел".
// Devices are the one large table here: one plain select of the texts, filtered in memory.
ResultSet findDevice(ProcedureCall &call)
{
    const QStringList words = searchWords(call.argText("@NM"));
    const ResultSet rs = call.cn.query(QStringLiteral(
        "SELECT d.IdDevice, d.DevcName, d.Domain, d.DevcNumber, w.WrkpName, p.DprtName FROM DeviceUnit d "
        "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
        "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment"));
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QString number = str(rs, i, "DevcNumber");
        if (!matches(words, {str(rs, i, "DevcName"), str(rs, i, "Domain"), number, str(rs, i, "WrkpName")}))
            continue;
        const QString device =
            joined({str(rs, i, "DevcName"), number.isEmpty() ? QString() : QStringLiteral("инв. ") + number},
                   QStringLiteral(", "));
        const QString name = joined({device, str(rs, i, "WrkpName"), str(rs, i, "DprtName")}, QStringLiteral(" — "));
        rows.push_back({val(rs, i, "IdDevice").toInt(), cut(name, width)});
    }
    return findResult(call, std::move(rows));
}

// Kinds of every type: the name and the short name are matched; the list shows the kind as the
// selectors do, followed by its type ("Винчестер (HDD) — Комплектующие").
ResultSet findKind(ProcedureCall &call)
{
    const QStringList words = searchWords(call.argText("@NM"));
    const ResultSet rs = call.cn.query(QStringLiteral("SELECT IdKind, KindName, ShortName, KindType FROM Kind"));
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QString kindName = str(rs, i, "KindName"), shortName = str(rs, i, "ShortName");
        if (!matches(words, {kindName, shortName}))
            continue;
        const QString type = str(rs, i, "KindType");
        const QString name = joined({kindLabel(kindName, shortName, width), typeText(type)}, QStringLiteral(" — "));
        rows.push_back({val(rs, i, "IdKind").toInt(), cut(name, width), type});
    }
    return findResult(call, std::move(rows));
}

// The producer of a model as text: the trademark, else the short name (unless it is the firm
// dialog's placeholder), else the full name.
QString producerText(const QString &trademark, const QString &shortName, const QString &fullName)
{
    if (!trademark.isEmpty())
        return trademark;
    if (!shortName.isEmpty() && shortName.compare(ShortNamePlaceholder, Qt::CaseInsensitive) != 0)
        return shortName;
    return fullName;
}

// Models: the name (and number), the characteristics and note, and the producer (display name,
// trademark, full and short names) are matched; the list shows "HP 12A — Картридж, 2000 стр.".
ResultSet findModel(ProcedureCall &call)
{
    const QStringList words = searchWords(call.argText("@NM"));
    const ResultSet rs = call.cn.query(QStringLiteral(
        "SELECT m.IdModel, m.ModlName, m.ModlNumber, m.ModlParametersValue, m.DisplayParameters, m.ModlKind, "
        "k.KindType, k.KindName, c.DisplayName AS Producer, c.ClntNameFull AS ProducerFull, "
        "c.ClntNameShort AS ProducerShort, t.Name AS ProducerTM FROM Model m "
        "LEFT JOIN Kind k ON k.IdKind = m.ModlKind LEFT JOIN Client c ON c.IdClient = m.ModlIdProducer "
        "LEFT JOIN Trademark t ON t.ID = c.Trademark"));
    const int width = nameWidth(call);
    std::vector<QVector<QVariant>> rows;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        QString shortName = str(rs, i, "ProducerShort");
        if (shortName.compare(ShortNamePlaceholder, Qt::CaseInsensitive) == 0)
            shortName.clear();
        if (!matches(words, {str(rs, i, "ModlName"), str(rs, i, "ModlNumber"), str(rs, i, "DisplayParameters"),
                             str(rs, i, "Producer"), str(rs, i, "ProducerTM"), str(rs, i, "ProducerFull"), shortName}))
            continue;
        QString model = str(rs, i, "ModlName");
        if (model.isEmpty())
            model = str(rs, i, "ModlNumber");
        const QString kind = joined({str(rs, i, "KindName"), str(rs, i, "ModlParametersValue")}, QStringLiteral(", "));
        const QVariant kindKey = val(rs, i, "ModlKind");
        rows.push_back({val(rs, i, "IdModel").toInt(), cut(joined({model, kind}, QStringLiteral(" — ")), width),
                        kindKey.isNull() ? QVariant() : QVariant(kindKey.toInt()), str(rs, i, "KindType")});
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
                       const QString &order, const QString &tieName, const QVariant &id, int dr)
{
    if (id.isNull() || dr == 0)
        return;
    const ResultSet self = cn.query(QStringLiteral("SELECT %1 AS Parent FROM %2 WHERE %3 = CAST(:K AS integer)")
                                        .arg(parent, table, key),
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
    const ResultSet sib = cn.query(QStringLiteral("SELECT %1 AS K, %2 AS O, %3 AS N FROM %4 WHERE %5%6")
                                       .arg(key, order, tieName.isEmpty() ? QStringLiteral("NULL") : tieName, table, where, lock),
                                   {{QStringLiteral("P"), parentValue}});

    struct Sibling {
        qint64 key;
        QVariant order;
        QString name;
    };
    std::vector<Sibling> rows;
    for (const auto &r : sib.rows)
        rows.push_back({r[0].toLongLong(), r[1], fold(r[2].toString())});
    std::sort(rows.begin(), rows.end(), [](const Sibling &a, const Sibling &b) {
        if (orderBefore(a.order, b.order))
            return true;
        if (orderBefore(b.order, a.order))
            return false;
        if (const int c = a.name.compare(b.name); c != 0)
            return c < 0;
        return a.key < b.key;
    });
    const auto at = std::find_if(rows.begin(), rows.end(), [&](const Sibling &s) { return s.key == id.toLongLong(); });
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
QString elementPlace(Connection &cn, const ResultSet &element)
{
    QStringList departments;
    QVariant dep = val(element, 0, "WrkpIdDepartment");
    QSet<qint64> seen; // a department placed under its own descendant must not loop forever
    while (!dep.isNull() && !seen.contains(dep.toLongLong())) {
        seen.insert(dep.toLongLong());
        const ResultSet d = cn.query(QStringLiteral("SELECT DprtName, DprtIdHigher FROM Department WHERE IdDepartment = :D"),
                                     {{QStringLiteral("D"), dep}});
        if (d.rows.empty())
            break;
        departments.prepend(str(d, 0, "DprtName"));
        dep = val(d, 0, "DprtIdHigher");
    }
    QStringList parts = departments;
    parts << str(element, 0, "WrkpName") << str(element, 0, "DevcName");
    QString place = joined(parts, QStringLiteral(" / "));
    // Too deep a path for the column keeps its end: the device and workplace say the most.
    constexpr int Width = 500;
    if (place.size() > Width)
        place = QStringLiteral("…") + place.right(Width - 1);
    return place;
}

QString elementCode(const QVariant &key) { return QStringLiteral("%1").arg(key.toLongLong(), 4, 16, QLatin1Char('0')).toUpper(); }

void registerLookups()
{
    // Kinds of one type in their manual order (rows without an order last, then by key).
    Proc::add(QStringLiteral("LookKind"), {Proc::in("@TP", FT::String, 1)},
              {Proc::col("ID", FT::SmallInt), Proc::col("Name", FT::String, 52), Proc::col("KindType", FT::FixedChar, 1)},
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
                                          kindLabel(str(rs, i, "KindName"), str(rs, i, "ShortName"), 52),
                                          str(rs, i, "KindType")});
                  return out;
              });

    // Models of one kind in their manual order (ModlWeight, rows without one last), then by name.
    Proc::add(QStringLiteral("LookUpModel"), {Proc::in("@KD", FT::Integer)},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 60), Proc::col("Parameters", FT::String, 203)},
              [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(
                      QStringLiteral("SELECT IdModel, ModlName, ModlNumber, DisplayParameters, ModlWeight FROM Model "
                                     "WHERE ModlKind = CAST(:K AS integer)"),
                      {{QStringLiteral("K"), call.arg("@KD")}});
                  // Each row carries its weight as a fourth value while it is sorted.
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i) {
                      QString name = str(rs, i, "ModlName");
                      if (name.isEmpty())
                          name = str(rs, i, "ModlNumber");
                      const QString params = str(rs, i, "DisplayParameters");
                      out.rows.push_back({val(rs, i, "IdModel").toInt(), cut(name, 60),
                                          params.isEmpty() ? QVariant() : QVariant(cut(params, 203)),
                                          val(rs, i, "ModlWeight")});
                  }
                  // By name first, then stably by weight: equal weights keep the name order.
                  sortByText(out, 1);
                  std::stable_sort(out.rows.begin(), out.rows.end(),
                                   [](const QVector<QVariant> &a, const QVector<QVariant> &b) { return orderBefore(a[3], b[3]); });
                  for (auto &r : out.rows)
                      r.resize(3);
                  return out;
              });

    // Every firm, by its display name (trademark and full name, kept by the database).
    Proc::add(QStringLiteral("LookUpClient"), {}, {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 122)},
              [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(
                      QStringLiteral("SELECT IdClient, DisplayName, ClntNameFull, ClntNameShort FROM Client"));
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i) {
                      QString name = str(rs, i, "DisplayName");
                      if (name.isEmpty())
                          name = producerText({}, str(rs, i, "ClntNameShort"), str(rs, i, "ClntNameFull"));
                      out.rows.push_back({val(rs, i, "IdClient").toInt(), cut(name, 122)});
                  }
                  sortByText(out, 1);
                  return out;
              });

    // Every incoming document, newest first (by date, documents without one last; then the newest
    // key first), shown as "Накладная № 17 от 05.03.2014, Поставщик"; missing parts are left out.
    Proc::add(QStringLiteral("LookUpDocument"), {},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 232), Proc::col("Date", FT::DateTime)},
              [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(QStringLiteral(
                      "SELECT d.IdDocument, d.DocNumber, d.DocDate, d.DocKind, k.Name AS KindName, c.DisplayName AS Supplier "
                      "FROM Document d LEFT JOIN DocKind k ON k.ID = d.DocKind LEFT JOIN Client c ON c.IdClient = d.DocClient"));
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i) {
                      const QVariant date = normalizeValue(FT::DateTime, val(rs, i, "DocDate"));
                      QString kind = str(rs, i, "KindName");
                      if (kind.isEmpty())
                          kind = str(rs, i, "DocKind");
                      if (kind.isEmpty())
                          kind = QStringLiteral("Документ");
                      const QString number = str(rs, i, "DocNumber");
                      QString name = kind;
                      if (!number.isEmpty())
                          name += QStringLiteral(" № ") + number;
                      if (!date.isNull())
                          name += QStringLiteral(" от ") + date.toDateTime().toString(QStringLiteral("dd.MM.yyyy"));
                      if (const QString supplier = str(rs, i, "Supplier"); !supplier.isEmpty())
                          name += QStringLiteral(", ") + supplier;
                      out.rows.push_back({val(rs, i, "IdDocument").toInt(), cut(name, 232), date});
                  }
                  std::stable_sort(out.rows.begin(), out.rows.end(), [](const QVector<QVariant> &a, const QVector<QVariant> &b) {
                      if (a[2].isNull() != b[2].isNull())
                          return b[2].isNull();
                      if (!a[2].isNull() && a[2].toDateTime() != b[2].toDateTime())
                          return a[2].toDateTime() > b[2].toDateTime();
                      return a[0].toInt() > b[0].toInt();
                  });
                  return out;
              });

    // Every trademark, by name.
    Proc::add(QStringLiteral("LookUpTrademark"), {}, {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 122)},
              [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(QStringLiteral("SELECT ID, Name FROM Trademark"));
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i)
                      out.rows.push_back({val(rs, i, "ID").toInt(), cut(str(rs, i, "Name"), 122)});
                  sortByText(out, 1);
                  return out;
              });

    // The devices of the department where an element (@R = 0) or a device (@R = 1) stands, that
    // device included, as "Устройство — Рабочее место", in the order of the placement tree
    // (workplaces by their order, devices by name). Only the department's own workplaces count,
    // not those of departments below it. An unknown key gives no rows.
    Proc::add(QStringLiteral("LookupDeviceAtDepartment"), {Proc::in("@CS", FT::Integer), Proc::in("@R", FT::Integer)},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 103)}, [](ProcedureCall &call) {
                  const bool device = call.argInt("@R", 0) == 1;
                  const QString find =
                      device ? QStringLiteral("SELECT w.WrkpIdDepartment FROM DeviceUnit d "
                                              "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE d.IdDevice = :K")
                             : QStringLiteral("SELECT w.WrkpIdDepartment FROM CompleteSet c "
                                              "JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                                              "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE c.IdComponent = :K");
                  ResultSet out = declared(call);
                  const ResultSet where = call.cn.query(find, {{QStringLiteral("K"), call.arg("@CS")}});
                  if (where.rows.empty() || where.rows.front().front().isNull())
                      return out;
                  const ResultSet rs = call.cn.query(
                      QStringLiteral("SELECT d.IdDevice, d.DevcName, w.WrkpName, w.WrkpOrder, w.IdWorkplace FROM DeviceUnit d "
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
                      if (const int c = fold(str(rs, a, "DevcName")).compare(fold(str(rs, b, "DevcName"))); c != 0)
                          return c < 0;
                      return val(rs, a, "IdDevice").toInt() < val(rs, b, "IdDevice").toInt();
                  });
                  for (size_t i : idx)
                      out.rows.push_back({val(rs, i, "IdDevice").toInt(),
                                          cut(joined({str(rs, i, "DevcName"), str(rs, i, "WrkpName")}, QStringLiteral(" — ")), 103)});
                  return out;
              });
}

// Each chain returns one row for an existing key and none for a missing one; the caller reads an
// empty result as zeros (and type "D" for a kind).
void registerChains()
{
    Proc::add(QStringLiteral("ChainComponent"), {Proc::in("@CM", FT::Integer)},
              {Proc::col("IDComponent", FT::Integer), Proc::col("IDDevice", FT::Integer), Proc::col("IDModel", FT::Integer),
               Proc::col("IDKind", FT::SmallInt), Proc::col("IDType", FT::FixedChar, 1), Proc::col("IDDocument", FT::Integer),
               Proc::col("NBPosition", FT::SmallInt), Proc::col("IDShipper", FT::Integer),
               Proc::col("IDShipperTM", FT::SmallInt), Proc::col("IDProducer", FT::Integer),
               Proc::col("IDProducerTM", FT::SmallInt)},
              [](ProcedureCall &call) {
                  // The kind is the model's; an element without a model keeps the kind it was given.
                  return call.cn.query(
                      QStringLiteral(
                          "SELECT c.IdComponent AS IDComponent, c.CmplIdDevice AS IDDevice, c.CmplIdModel AS IDModel, "
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

    Proc::add(QStringLiteral("ChainModel"), {Proc::in("@MD", FT::Integer)},
              {Proc::col("IDModel", FT::Integer), Proc::col("IDKind", FT::SmallInt), Proc::col("IDType", FT::FixedChar, 1),
               Proc::col("IDProducer", FT::Integer), Proc::col("IDProducerTM", FT::SmallInt)},
              [](ProcedureCall &call) {
                  return call.cn.query(
                      QStringLiteral("SELECT m.IdModel AS IDModel, k.IdKind AS IDKind, k.KindType AS IDType, "
                                     "m.ModlIdProducer AS IDProducer, p.Trademark AS IDProducerTM FROM Model m "
                                     "LEFT JOIN Kind k ON k.IdKind = m.ModlKind "
                                     "LEFT JOIN Client p ON p.IdClient = m.ModlIdProducer WHERE m.IdModel = :K"),
                      {{QStringLiteral("K"), call.arg("@MD")}});
              });

    Proc::add(QStringLiteral("ChainKind"), {Proc::in("@KD", FT::Integer)},
              {Proc::col("IDKind", FT::SmallInt), Proc::col("IDType", FT::FixedChar, 1)}, [](ProcedureCall &call) {
                  // Cast: a key beyond the range of the smallint column is simply not found.
                  return call.cn.query(QStringLiteral("SELECT IdKind AS IDKind, KindType AS IDType FROM Kind "
                                                      "WHERE IdKind = CAST(:K AS integer)"),
                                       {{QStringLiteral("K"), call.arg("@KD")}});
              });

    Proc::add(QStringLiteral("ChainDevice"), {Proc::in("@DV", FT::Integer)},
              {Proc::col("IDDevice", FT::Integer), Proc::col("IDKind", FT::SmallInt), Proc::col("IDWorkplace", FT::Integer),
               Proc::col("IDDepartment", FT::Integer)},
              [](ProcedureCall &call) {
                  return call.cn.query(
                      QStringLiteral("SELECT d.IdDevice AS IDDevice, d.DevcIdKind AS IDKind, d.DevcIdWorkplace AS IDWorkplace, "
                                     "w.WrkpIdDepartment AS IDDepartment FROM DeviceUnit d "
                                     "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE d.IdDevice = :K"),
                      {{QStringLiteral("K"), call.arg("@DV")}});
              });

    Proc::add(QStringLiteral("ChainWorkplace"), {Proc::in("@WP", FT::Integer)},
              {Proc::col("IDWorkplace", FT::Integer), Proc::col("IDDepartment", FT::Integer)}, [](ProcedureCall &call) {
                  return call.cn.query(QStringLiteral("SELECT IdWorkplace AS IDWorkplace, WrkpIdDepartment AS IDDepartment "
                                                      "FROM Workplace WHERE IdWorkplace = :K"),
                                       {{QStringLiteral("K"), call.arg("@WP")}});
              });
}

void registerFinds()
{
    const auto nm = [] { return QVector<Parameter>{Proc::in("@NM", FT::String, 150)}; };
    Proc::add(QStringLiteral("FindDepartment"), nm(), {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 50)},
              findDepartment);
    Proc::add(QStringLiteral("FindWorkplace"), nm(), {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 250)},
              findWorkplace);
    Proc::add(QStringLiteral("FindDevice"), nm(), {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 250)},
              findDevice);
    Proc::add(QStringLiteral("FindKind"), nm(),
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 250), Proc::col("KindType", FT::FixedChar, 1)},
              findKind);
    Proc::add(QStringLiteral("FindModel"), nm(),
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 250), Proc::col("Kind", FT::SmallInt),
               Proc::col("KindType", FT::FixedChar, 1)},
              findModel);
}

void registerMaintenance()
{
    // A kind moves among the kinds of its type.
    Proc::add(QStringLiteral("MoveKind"), {Proc::req("@KD", FT::Integer), Proc::req("@DR", FT::Integer)}, {},
              [](ProcedureCall &call) {
                  moveAmongSiblings(call.cn, QStringLiteral("Kind"), QStringLiteral("IdKind"), QStringLiteral("KindType"),
                                    QStringLiteral("KindOrder"), QString(), call.arg("@KD"), call.argInt("@DR", 0));
                  return Proc::none();
              });

    // A model moves among the models of its kind.
    Proc::add(QStringLiteral("MoveModel"), {Proc::req("@MD", FT::Integer), Proc::req("@DR", FT::Integer)}, {},
              [](ProcedureCall &call) {
                  moveAmongSiblings(call.cn, QStringLiteral("Model"), QStringLiteral("IdModel"), QStringLiteral("ModlKind"),
                                    QStringLiteral("ModlWeight"), QStringLiteral("ModlName"), call.arg("@MD"), call.argInt("@DR", 0));
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
                          QStringLiteral("SELECT c.ClntNameFull, c.ClntNameShort, t.Name AS TradeName FROM Client c "
                                         "LEFT JOIN Trademark t ON t.ID = c.Trademark WHERE c.IdClient = :P"),
                          {{QStringLiteral("P"), pr}});
                      if (!rs.rows.empty())
                          producer = producerText(str(rs, 0, "TradeName"), str(rs, 0, "ClntNameShort"),
                                                  str(rs, 0, "ClntNameFull"));
                  }
                  call.setOut("@Name", cut(joined({producer, number}, QStringLiteral(" ")), 60));
                  return Proc::none();
              });

    // Records where an element stands now as one row of its move history, at the current time.
    // Every call adds a row, even when the place is the same as the last one: the move list tells
    // a move by its number of rows changing.
    Proc::add(QStringLiteral("ExeElementMoveDocument"), {Proc::in("@EL", FT::Integer)}, {}, [](ProcedureCall &call) {
        const QVariant key = call.arg("@EL");
        if (key.isNull())
            throw AppError(QStringLiteral("Не указан элемент, перемещение которого нужно записать"));
        const ResultSet element = call.cn.query(
            QStringLiteral("SELECT c.IdComponent, d.DevcName, w.WrkpName, w.WrkpIdDepartment FROM CompleteSet c "
                           "LEFT JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                           "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE c.IdComponent = :K"),
            {{QStringLiteral("K"), key}});
        if (element.rows.empty())
            throw AppError(QStringLiteral("Элемент %1 не найден: возможно, его удалил другой пользователь")
                               .arg(elementCode(key)));
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime moving(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
        call.cn.execute(QStringLiteral("INSERT INTO ElementMove (IdComponent, Moving, Place) VALUES (:C, :M, :P)"),
                        {{QStringLiteral("C"), key}, {QStringLiteral("M"), moving},
                         {QStringLiteral("P"), elementPlace(call.cn, element)}});
        return Proc::none();
    });

    // The move history of an element, newest first (equal times: the later row first).
    Proc::add(QStringLiteral("GridDisplacement"), {Proc::in("@CS", FT::Integer)},
              {Proc::col("ID", FT::Integer), Proc::col("Moving", FT::DateTime), Proc::col("Place", FT::String, 500)},
              [](ProcedureCall &call) {
                  return call.cn.query(QStringLiteral("SELECT ID, Moving, Place FROM ElementMove WHERE IdComponent = :K "
                                                      "ORDER BY Moving DESC, ID DESC"),
                                       {{QStringLiteral("K"), call.arg("@CS")}});
              });
}

} // namespace

void registerLookupProcedures()
{
    registerLookups();
    registerChains();
    registerFinds();
    registerMaintenance();
}
