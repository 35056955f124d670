#include "server/ProcText.h"

#include <QSet>
#include <algorithm>
#include <numeric>

namespace ProcText {

QString cut(QString s, int width) {
    if (s.size() <= width)
        return s;
    s.truncate(width);
    qsizetype n = s.size();
    while (n > 0 && s[n - 1].isSpace())
        --n;
    s.truncate(n);
    return s;
}

QString joined(const QStringList &parts, const QString &sep) {
    return JoinedText(parts, sep);
}

QString text(const ResultSet &rs, size_t row, const char *column) {
    return rs.value(row, QLatin1StringView(column)).toString().trimmed();
}

void sortByText(ResultSet &rs, int textColumn, int keyColumn) {
    rs.sortByText(textColumn, keyColumn);
}

void sortByText(ResultSet &rs, const QString &textColumn, const QString &keyColumn) {
    rs.sortByText(rs.indexOf(textColumn), rs.indexOf(keyColumn));
}

QString foldSql(Engine engine, const QString &expr) {
    // SQLite: the program's own function, the same code as FoldText (SqliteFunctions).
    if (engine == Engine::SQLite)
        return QStringLiteral("fold_text(%1)").arg(expr);
    // PostgreSQL: translate() of every character the rule changes, which no locale affects.
    static const std::pair<QString, QString> changed = [] {
        QString from, to;
        for (char16_t u = 0; u < 0x500; ++u)
            if (FoldUnit(u) != u) {
                from += QChar(u);
                to += QChar(FoldUnit(u));
            }
        return std::pair{from, to};
    }();
    return QStringLiteral("translate(%1, '%2', '%3')").arg(expr, changed.first, changed.second);
}

QString foldedTexts(Engine engine, const QStringList &texts) {
    QStringList parts;
    for (const QString &t : texts)
        parts << QStringLiteral("coalesce(%1, '')").arg(t);
    const QString sep =
        engine == Engine::PostgreSQL ? QStringLiteral(" || chr(10) || ") : QStringLiteral(" || char(10) || ");
    return foldSql(engine, parts.join(sep));
}

QStringList searchWords(const QString &text) {
    return FoldText(text).simplified().split(u' ', Qt::SkipEmptyParts);
}

QString likeContains(const QString &word) {
    QString p = word;
    p.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'%', QStringLiteral("\\%"))
        .replace(u'_', QStringLiteral("\\_"));
    return u'%' + p + u'%';
}

QStringList departmentPath(Connection &cn, const QVariant &department) {
    QStringList names;
    QVariant dep = department;
    QSet<qint64> seen;
    while (!dep.isNull() && !seen.contains(dep.toLongLong())) {
        seen.insert(dep.toLongLong());
        const ResultSet d =
            cn.query(QStringLiteral("SELECT DprtName, DprtIdHigher FROM Department WHERE IdDepartment = :D"),
                     {{QStringLiteral("D"), dep}});
        if (d.rows.empty())
            break;
        names.prepend(text(d, 0, "DprtName"));
        dep = d.rows.front()[1];
    }
    return names;
}

} // namespace ProcText
