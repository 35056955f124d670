#include "data/DataValues.h"

#include "data/TessalString.h"

#include <QDateTime>

namespace {

bool isNumber(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

} // namespace

int CompareValues(const QVariant &a, const QVariant &b) {
    const bool an = a.isNull() || !a.isValid(), bn = b.isNull() || !b.isValid();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    if (isNumber(a) && isNumber(b)) {
        if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double) {
            const double x = a.toDouble(), y = b.toDouble();
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        const qlonglong x = a.toLongLong(), y = b.toLongLong();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime) {
        const QDateTime x = a.toDateTime(), y = b.toDateTime();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    // Texts in the one order of names the whole program uses (TessalString).
    return CompareText(a.toString(), b.toString());
}

bool SameValue(const QVariant &a, const QVariant &b, bool caseInsensitive, bool partial) {
    const bool an = a.isNull() || !a.isValid(), bn = b.isNull() || !b.isValid();
    if (an || bn)
        return an == bn;
    if (isNumber(a) && isNumber(b))
        return CompareValues(a, b) == 0;
    if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime)
        return a.toDateTime() == b.toDateTime();
    const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const QString x = a.toString(), y = b.toString();
    return partial ? x.startsWith(y, cs) : x.compare(y, cs) == 0;
}
