// Finds by text behind the find dialogs: every word of the text occurs in the record's texts.
#include "server/ServerProcs.h"

#include "server/LookupCommon.h"

#include <QHash>
#include <QSet>
#include <algorithm>

using namespace lookup;
using namespace ProcText;

namespace {

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

// PostgreSQL: a regular expression that finds `word` (folded) in a text as it is stored, not folded:
// each character becomes the set of characters the one rule of names folds to it ("е" stands for
// "е", "Е", "ё" and "Ё"), so that the text matches exactly when its folded form contains the word.
// Empty when no text can contain it.
// Folding every text in the statement with translate() cost more than all the rest of a find.
QString foldedPattern(const QString &word) {
    static const QHash<char32_t, QString> folding = [] {
        QHash<char32_t, QString> sources; // a folded character -> the characters folded to it
        for (char16_t u = 0; u < 0x500; ++u)
            sources[FoldUnit(u)] += QChar(u);
        return sources;
    }();
    QString re;
    for (const char32_t c : word.toUcs4()) {
        // A word is folded already; a character the rule leaves alone stands for itself alone.
        const QString members = c < 0x500 ? folding.value(c) : QString::fromUcs4(&c, 1);
        if (members.isEmpty())
            return {}; // no folded text holds a character the rule changes
        re += u'[';
        for (const QChar m : members) {
            if (QStringView(u"\\[]^-").contains(m))
                re += u'\\';
            re += m;
        }
        re += u']';
    }
    return re;
}

// The test "every word occurs in one of `texts`" (SQL expressions over one row), the words bound as
// W0, W1 ... On SQLite the texts are joined and folded in the statement; on PostgreSQL each word
// is matched as a pattern of the characters that fold to it (foldedPattern).
QString textsContainAll(Engine e, const QStringList &texts, const QStringList &words, QVariantMap &params) {
    if (e == Engine::SQLite)
        return containsAll(e, foldedTexts(e, texts), words, params);
    QStringList parts;
    for (const QString &t : texts)
        parts << QStringLiteral("coalesce(%1, '')").arg(t);
    const QString hay = parts.join(QStringLiteral(" || chr(10) || "));
    QStringList tests;
    for (int i = 0; i < words.size(); ++i) {
        const QString name = QStringLiteral("W%1").arg(i), pattern = foldedPattern(words[i]);
        if (pattern.isEmpty())
            return QStringLiteral("FALSE");
        params.insert(name, pattern);
        tests << QStringLiteral("(%1) ~ CAST(:%2 AS text)").arg(hay, name);
    }
    return tests.join(QStringLiteral(" AND "));
}

// The words of three or more characters: the trigram indexes serve them.
QStringList indexedWords(const QStringList &words) {
    QStringList indexed;
    for (const QString &w : words)
        if (w.toUcs4().size() >= 3)
            indexed << w;
    return indexed;
}

// How many find texts of a kind PostgreSQL reads in key order before it asks the trigram index.
constexpr int KeyOrderWalk = 5000;

// PostgreSQL: the keys of the rows of one kind of find text that contain every word, at most
// FindRowLimit + 1, as a list for IN (empty when there are none). Two ways serve two kinds of text:
// - a word that many rows contain is found by reading the texts in key order and stopping at the
//   limit; the planner's guess of how many rows hold a word is too rough to choose between the
//   ways (a word no row holds made it read every text), so that walk is bounded;
// - when the first KeyOrderWalk texts do not fill the limit, the kind's partial trigram index
//   gives the rows that hold every trigram of the words, which are read until the limit is reached.
// With no word of three characters (no trigram) the texts are read in key order to the limit.
QString pgFindKeys(Connection &cn, const char *kind, const QStringList &words) {
    QVariantMap params;
    const QString exact = containsAll(Engine::PostgreSQL, QStringLiteral("f.Text"), words, params);
    const QString ofKind = QStringLiteral("f.Kind = '%1'").arg(QString::fromLatin1(kind));
    const QString limit = QStringLiteral(" LIMIT %1").arg(FindRowLimit + 1);
    const QStringList indexed = indexedWords(words);
    QStringList keys;
    const auto collect = [&](const QString &sql) {
        keys.clear();
        for (const auto &row : cn.query(sql, params).rows)
            keys << row[0].toString();
    };
    if (indexed.isEmpty()) {
        collect(QStringLiteral("SELECT f.ID FROM FindText f WHERE %1 AND %2 ORDER BY f.Kind, f.ID%3")
                    .arg(ofKind, exact, limit));
        return keys.join(u',');
    }
    collect(QStringLiteral("SELECT f.ID FROM (SELECT f.ID, f.Text FROM FindText f WHERE %1 ORDER BY f.Kind, "
                           "f.ID LIMIT %2) f WHERE %3%4")
                .arg(ofKind)
                .arg(KeyOrderWalk)
                .arg(exact, limit));
    if (keys.size() > FindRowLimit)
        return keys.join(u',');
    QString likes;
    for (int i = 0; i < indexed.size(); ++i) {
        const QString name = QStringLiteral("L%1").arg(i);
        params.insert(name, likeContains(indexed[i]));
        likes += QStringLiteral(" AND f.Text LIKE CAST(:%1 AS text) ESCAPE '\\'").arg(name);
    }
    // The planner reckons a word to be in a few hundredths of the texts whatever the word: it would
    // then read the table (or its key) until the limit, which for a rare word means all of it. The
    // trigram index is what answers here, so for this one statement the other ways are set aside
    // (for the transaction, and given back after it).
    const ResultSet was = cn.query(QStringLiteral(
        "SELECT current_setting('enable_seqscan'), current_setting('enable_indexscan'), "
        "set_config('enable_seqscan', 'off', true), set_config('enable_indexscan', 'off', true)"));
    collect(
        QStringLiteral("SELECT f.ID FROM FindText f WHERE %1%2 AND %3%4").arg(ofKind, likes, exact, limit));
    cn.query(QStringLiteral(
                 "SELECT set_config('enable_seqscan', :S, true), set_config('enable_indexscan', :I, true)"),
             {{QStringLiteral("S"), was.rows[0][0]}, {QStringLiteral("I"), was.rows[0][1]}});
    return keys.join(u',');
}

// The keys of the rows of one kind of find text ("D", "W", "V") that contain every word, at most
// FindRowLimit + 1 of them: on SQLite as a sub-select, on PostgreSQL as a list of keys found
// first (pgFindKeys). Empty when no row can be found. SQLite's trigram index of that kind (FTS5)
// serves the words of three or more characters; shorter words are checked on the rows it gives,
// or, when every word is short, by a scan of the texts of that kind.
QString findKeys(Connection &cn, const char *kind, const QStringList &words, QVariantMap &params) {
    if (cn.engine() == Engine::PostgreSQL)
        return pgFindKeys(cn, kind, words);
    const QString exact = containsAll(Engine::SQLite, QStringLiteral("f.Text"), words, params);
    const QString limit = QStringLiteral(" LIMIT %1").arg(FindRowLimit + 1);
    const QString ofKind = QStringLiteral("f.Kind = '%1'").arg(QString::fromLatin1(kind));
    const QStringList indexed = indexedWords(words);
    if (indexed.isEmpty())
        return QStringLiteral("SELECT f.ID FROM FindText f WHERE %1 AND %2%3").arg(ofKind, exact, limit);
    QStringList phrases;
    for (QString w : indexed)
        phrases << u'"' + w.replace(u'"', QStringLiteral("\"\"")) + u'"';
    params.insert(QStringLiteral("M"), phrases.join(u' '));
    // Each kind has its own index (FindIndexD, FindIndexW, FindIndexV): the entries read are of
    // the kind looked for, however often the words occur in the texts of the others.
    return QStringLiteral("SELECT f.ID FROM FindIndex%4 i JOIN FindText f ON f.rowid = i.rowid "
                          "WHERE i.Text MATCH :M AND %1 AND %2%3")
        .arg(ofKind, exact, limit, QString::fromLatin1(kind));
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
    const QString keys = findKeys(call.cn, "D", words, params);
    if (keys.isEmpty())
        return declared(call);
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT d.IdDepartment, d.DprtName, h.DprtName AS Higher FROM Department d "
            "LEFT JOIN Department h ON h.IdDepartment = d.DprtIdHigher WHERE d.IdDepartment IN (%1)")
            .arg(keys),
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
    const QString keys = findKeys(call.cn, "W", words, params);
    if (keys.isEmpty())
        return declared(call);
    const ResultSet rs = call.cn.query(
        QStringLiteral("SELECT w.IdWorkplace, w.WrkpName, w.Phone, d.DprtName, u.Name AS UserName, "
                       "u.ShortName AS UserShort, u.[Login] AS UserLogin FROM Workplace w "
                       "LEFT JOIN Department d ON d.IdDepartment = w.WrkpIdDepartment LEFT JOIN [User] u ON "
                       "u.ID = w.[User] "
                       "WHERE w.IdWorkplace IN (%1)")
            .arg(keys),
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
    const QString keys = findKeys(call.cn, "V", words, params);
    if (keys.isEmpty())
        return declared(call);
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT d.IdDevice, d.DevcName, d.DevcNumber, w.WrkpName, p.DprtName FROM DeviceUnit d "
            "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
            "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment WHERE d.IdDevice IN (%1)")
            .arg(keys),
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
    const QString where =
        textsContainAll(e, {QStringLiteral("KindName"), QStringLiteral("ShortName")}, words, params);
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

// Models: the name (and number), the characteristics and note, and the producer (display name,
// trademark, full and short names) are matched; the list shows "HP 12A — Картридж, 2000 стр.".
ResultSet findModel(ProcedureCall &call) {
    const QStringList words = searchWords(call.argText("@NM"));
    if (words.isEmpty())
        return declared(call);
    const Engine e = call.cn.engine();
    QVariantMap params;
    params.insert(QStringLiteral("PH"), ShortNamePlaceholder);
    const QString test = textsContainAll(
        e,
        {QStringLiteral("m.ModlName"), QStringLiteral("m.ModlNumber"), QStringLiteral("m.DisplayParameters"),
         QStringLiteral("c.DisplayName"), QStringLiteral("t.Name"), QStringLiteral("c.ClntNameFull"),
         QStringLiteral("CASE WHEN lower(c.ClntNameShort) = :PH THEN NULL ELSE c.ClntNameShort END")},
        words, params);
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT m.IdModel, m.ModlName, m.ModlNumber, m.ModlParametersValue, m.ModlKind, "
            "k.KindType, k.KindName FROM Model m "
            "LEFT JOIN Kind k ON k.IdKind = m.ModlKind LEFT JOIN Client c ON c.IdClient = m.ModlIdProducer "
            "LEFT JOIN Trademark t ON t.ID = c.Trademark WHERE %1 LIMIT %2")
            .arg(test)
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

} // namespace

void registerFindProcedures() {
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
