#include "ValueCheck.h"

#include "Errors.h"

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
