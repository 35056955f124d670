#include "data/SqlNames.h"

#include <QRegularExpression>

QString BracketName(const QString &name) {
    if (name.startsWith(u'['))
        return name;
    return u'[' + name + u']';
}

QString BareName(const QString &name) {
    QString n = name;
    if (n.startsWith(u'@'))
        n.remove(0, 1);
    if (n.startsWith(u'[') && n.endsWith(u']'))
        n = n.mid(1, n.size() - 2);
    return n;
}

QString SelectTable(const QString &sql) {
    // One table, no join: "select ... from T [where ...] [order by ...]".
    static const QRegularExpression re(
        QStringLiteral(
            R"(^\s*select\s.+?\sfrom\s+(\[?\w+\]?)\s*(?:(?:as\s+)?\w+\s*)?(?:where\b.*|order\b.*)?$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(sql);
    if (m.hasMatch() && !sql.contains(QStringLiteral(" join "), Qt::CaseInsensitive)) {
        const QString t = BareName(m.captured(1));
        if (t.compare(QStringLiteral("where"), Qt::CaseInsensitive) != 0 &&
            t.compare(QStringLiteral("order"), Qt::CaseInsensitive) != 0)
            return t;
    }
    return QString();
}
