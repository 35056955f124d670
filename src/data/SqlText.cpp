#include "data/SqlText.h"

namespace {

bool isNameStart(QChar c) {
    return c.isLetter() || c == u'_' || c == u'@';
}
bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'@';
}

} // namespace

QStringList PreparedSql::uniqueNames() const {
    QStringList out;
    for (const QString &n : markNames)
        if (!out.contains(n, Qt::CaseInsensitive))
            out << n;
    return out;
}

PreparedSql prepareSql(const QString &sql, Engine engine, MarkStyle marks) {
    PreparedSql out;
    out.text.reserve(sql.size() + 8);
    const qsizetype n = sql.size();
    qsizetype i = 0;
    bool content = false; // the current statement holds more than blanks and comments
    QString dollar;       // the tag of the dollar-quoted body being read
    while (i < n) {
        const QChar c = sql[i];
        const bool comment =
            (c == u'-' && i + 1 < n && sql[i + 1] == u'-') || (c == u'/' && i + 1 < n && sql[i + 1] == u'*');
        if (c == u';' && dollar.isEmpty()) {
            if (content)
                ++out.statements;
            content = false;
        } else if (!c.isSpace() && !comment) {
            content = true;
        }
        if (c == u'$' && engine == Engine::PostgreSQL && (i == 0 || !isNameChar(sql[i - 1]))) {
            // $tag$ opens or closes a function body: its ";" end its own statements, not this one.
            qsizetype j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == u'_'))
                ++j;
            if (j < n && sql[j] == u'$' && (j == i + 1 || !sql[i + 1].isDigit())) {
                const QString tag = sql.mid(i, j - i + 1);
                if (dollar.isEmpty())
                    dollar = tag;
                else if (dollar == tag)
                    dollar.clear();
                out.text += tag;
                i = j + 1;
                continue;
            }
            out.text += c;
            ++i;
        } else if (c == u'\'' || c == u'"') { // literal or quoted identifier, doubled quote escapes
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out.text += sql.mid(i, j - i + 1);
            i = j + 1;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') { // line comment
            qsizetype j = sql.indexOf(u'\n', i);
            if (j < 0)
                j = n;
            out.text += sql.mid(i, j - i);
            i = j;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            qsizetype j = sql.indexOf(QStringLiteral("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            out.text += sql.mid(i, j - i);
            i = j;
        } else if (c == u'[') {
            const qsizetype j = sql.indexOf(u']', i + 1);
            if (j < 0) {
                out.text += sql.mid(i);
                break;
            }
            const QString name = sql.mid(i + 1, j - i - 1);
            if (engine == Engine::PostgreSQL)
                out.text += u'"' + name.toLower() + u'"';
            else
                out.text += u'[' + name + u']';
            i = j + 1;
        } else if (c == u':' && i + 1 < n && sql[i + 1] == u':') { // PostgreSQL cast
            out.text += QStringLiteral("::");
            i += 2;
        } else if (c == u':' && i + 1 < n && isNameStart(sql[i + 1])) {
            qsizetype j = i + 1;
            while (j < n && isNameChar(sql[j]))
                ++j;
            out.markNames << sql.mid(i + 1, j - i - 1);
            if (marks == MarkStyle::Numbered)
                out.text += u'$' + QString::number(out.markNames.size());
            else
                out.text += u'?';
            i = j;
        } else {
            out.text += c;
            ++i;
        }
    }
    if (content)
        ++out.statements;
    return out;
}
