#include "data/ValueCheck.h"

#include "data/Errors.h"

#include <QDateTime>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

// The whole number a value holds, or false when it holds none (a fraction, a text with anything
// but an optional sign and digits, a number beyond 64 bits).
bool wholeNumber(const QVariant &v, qint64 &out) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        out = v.toLongLong();
        return true;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const quint64 u = v.toULongLong();
        if (u > quint64(std::numeric_limits<qint64>::max()))
            return false;
        out = qint64(u);
        return true;
    }
    case QMetaType::Bool:
        out = v.toBool() ? 1 : 0;
        return true;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) >= 9.2e18)
            return false;
        out = qint64(d);
        return true;
    }
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
        const QString s = v.toString().trimmed();
        if (!digits.match(s).hasMatch())
            return false;
        bool ok = false;
        out = s.toLongLong(&ok);
        return ok;
    }
    default:
        return false;
    }
}

QString shown(const QVariant &v) {
    return quoteInput(v.toString());
}

[[noreturn]] void refuse(const QVariant &v, const QString &what, const QString &expected) {
    throw AppError(QStringLiteral("Значение %1 %2 должно быть %3").arg(shown(v), what, expected));
}

bool isBlankText(const QVariant &v) {
    return (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray) &&
           v.toString().trimmed().isEmpty();
}

} // namespace

IntegerRange integerRange(FieldType type) {
    switch (type) {
    case FieldType::SmallInt:
        return {std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()};
    case FieldType::Integer:
        return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()};
    default:
        return {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};
    }
}

QVariant checkedValue(FieldType type, const QVariant &value, const QString &what) {
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (type) {
    case FieldType::Integer:
    case FieldType::SmallInt:
    case FieldType::BigInt: {
        if (isBlankText(value))
            return QVariant();
        const IntegerRange r = integerRange(type);
        qint64 n = 0;
        if (!wholeNumber(value, n) || n < r.min || n > r.max)
            refuse(value, what, QStringLiteral("целым числом от %1 до %2").arg(r.min).arg(r.max));
        return type == FieldType::BigInt ? QVariant(n) : QVariant(int(n));
    }
    case FieldType::Money: {
        if (isBlankText(value))
            return QVariant();
        static const QRegularExpression amount(QStringLiteral("^[+-]?[0-9]{1,15}([.,][0-9]*)?$"));
        qint64 whole = 0;
        const bool ok =
            value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray
                ? amount.match(value.toString().trimmed()).hasMatch()
                : (wholeNumber(value, whole) && std::llabs(whole) < 1000000000000000LL) ||
                      ((value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) &&
                       std::isfinite(value.toDouble()) && std::fabs(value.toDouble()) < 1e15);
        if (!ok)
            refuse(value, what, QStringLiteral("денежной суммой (не более 15 цифр до запятой)"));
        return normalizeValue(type, value);
    }
    case FieldType::Boolean: {
        if (value.typeId() == QMetaType::Bool)
            return value;
        if (isBlankText(value))
            return QVariant();
        const QString s = value.toString().trimmed();
        qint64 n = -1;
        if (wholeNumber(value, n) && (n == 0 || n == 1))
            return n == 1;
        if (s.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0)
            return false;
        refuse(value, what, QStringLiteral("логическим значением (0 или 1)"));
    }
    case FieldType::DateTime: {
        if (isBlankText(value))
            return QVariant();
        const QVariant v = normalizeValue(type, value);
        if ((v.typeId() != QMetaType::QDateTime || !v.toDateTime().isValid()))
            refuse(value, what, QStringLiteral("датой"));
        return v;
    }
    case FieldType::String:
    case FieldType::FixedChar:
    case FieldType::Memo: {
        const QVariant v = normalizeValue(type, value);
        if (v.toString().contains(QChar(0)))
            throw AppError(QStringLiteral("Значение %1 %2 содержит недопустимый символ с кодом 0")
                               .arg(shown(value), what));
        return v;
    }
    default:
        return normalizeValue(type, value);
    }
}

namespace {

// The statement cut into words, parameters, punctuation and literals, without blanks and comments;
// quoted names lose their quotes.
QStringList tokens(const QString &sql) {
    QStringList out;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == u'\'') {
            qsizetype j = i + 1;
            while (j < n && !(sql[j] == u'\'' && (j + 1 >= n || sql[j + 1] != u'\'')))
                j += sql[j] == u'\'' ? 2 : 1;
            out << sql.mid(i, j - i + 1);
            i = j + 1;
        } else if (c == u'"' || c == u'[' || c == u'`') {
            const QChar close = c == u'[' ? u']' : c;
            qsizetype j = sql.indexOf(close, i + 1);
            if (j < 0)
                j = n;
            out << sql.mid(i + 1, j - i - 1);
            i = j + 1;
        } else if (c.isLetterOrNumber() || c == u'_' || c == u'@' ||
                   (c == u':' && i + 1 < n && (sql[i + 1].isLetter() || sql[i + 1] == u'_'))) {
            qsizetype j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == u'_' || sql[j] == u'@' || sql[j] == u'.'))
                ++j;
            out << sql.mid(i, j - i);
            i = j;
        } else {
            out << QString(c);
            ++i;
        }
    }
    return out;
}

bool is(const QStringList &t, qsizetype i, const char *word) {
    return i < t.size() && t[i].compare(QLatin1StringView(word), Qt::CaseInsensitive) == 0;
}

// The items of a parenthesised list starting at t[i] == "(", each as its tokens; i is left after
// the closing parenthesis.
QList<QStringList> listAt(const QStringList &t, qsizetype &i) {
    QList<QStringList> items;
    if (!is(t, i, "("))
        return items;
    ++i;
    QStringList item;
    int depth = 0;
    for (; i < t.size(); ++i) {
        if (t[i] == u"(")
            ++depth;
        else if (t[i] == u")" && depth-- == 0)
            break;
        if (depth == 0 && t[i] == u",") {
            items << item;
            item.clear();
        } else {
            item << t[i];
        }
    }
    items << item;
    ++i;
    return items;
}

bool isParameter(const QStringList &expr) {
    return expr.size() == 1 && expr[0].startsWith(u':');
}

} // namespace

QHash<QString, ColumnInfo> parameterColumns(const QString &sql) {
    QHash<QString, ColumnInfo> out;
    const QStringList t = tokens(sql);
    const auto columnOf = [](const TableInfo *table, const QStringList &name) -> const ColumnInfo * {
        return table && name.size() == 1 ? table->column(name[0].section(u'.', -1)) : nullptr;
    };
    const auto bind = [&](const ColumnInfo *column, const QStringList &expr) {
        if (column && isParameter(expr))
            out.insert(expr[0].mid(1).toLower(), *column);
    };
    qsizetype i = 0;
    if (is(t, 0, "INSERT")) {
        i = 1;
        if (is(t, i, "OR"))
            i += 2;
        if (!is(t, i, "INTO") || i + 1 >= t.size())
            return out;
        const TableInfo *table = SchemaInfo::instance().table(t[i + 1].section(u'.', -1));
        i += 2;
        const QList<QStringList> columns = listAt(t, i);
        if (!table || !is(t, i, "VALUES"))
            return out;
        ++i;
        while (is(t, i, "(")) {
            const QList<QStringList> row = listAt(t, i);
            for (qsizetype k = 0; k < row.size() && k < columns.size(); ++k)
                bind(columnOf(table, columns[k]), row[k]);
            if (!is(t, i, ","))
                break;
            ++i;
        }
    } else if (is(t, 0, "UPDATE") && t.size() > 2) {
        i = 1;
        if (is(t, i, "OR"))
            i += 2;
        const TableInfo *table =
            i < t.size() ? SchemaInfo::instance().table(t[i].section(u'.', -1)) : nullptr;
        ++i;
        if (!table || !is(t, i, "SET"))
            return out;
        ++i;
        // col = expr, ... up to WHERE, FROM, RETURNING or the end, at the outer level.
        QStringList expr;
        QStringList target;
        int depth = 0;
        for (;; ++i) {
            const bool end = i >= t.size() || t[i] == u";" ||
                             (depth == 0 && (is(t, i, "WHERE") || is(t, i, "FROM") || is(t, i, "RETURNING")));
            if (end || (depth == 0 && t[i] == u",")) {
                if (target.size() == 2 && target[1] == u"=")
                    bind(columnOf(table, {target[0]}), expr);
                if (end)
                    break;
                target.clear();
                expr.clear();
                continue;
            }
            if (t[i] == u"(")
                ++depth;
            else if (t[i] == u")")
                --depth;
            if (target.size() < 2)
                target << t[i];
            else
                expr << t[i];
        }
    }
    return out;
}

QVariantList checkedStatementValues(const QString &sql, const QStringList &names,
                                    const QVariantList &values) {
    const QHash<QString, ColumnInfo> columns = parameterColumns(sql);
    QVariantList out = values;
    for (qsizetype i = 0; i < out.size() && i < names.size(); ++i) {
        const auto it = columns.constFind(names[i].toLower());
        if (it == columns.constEnd() || isBlankText(out[i]))
            continue;
        out[i] = checkedValue(it->type, out[i],
                              QStringLiteral("параметра :%1 (поле «%2»)").arg(names[i], it->name));
    }
    return out;
}
