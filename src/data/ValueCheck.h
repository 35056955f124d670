#pragma once

#include "SchemaInfo.h"

// A value as it may be written to a column or passed to a parameter of the type, checked strictly:
// an integer must be a whole number within the type's range ("7abc", "1.5" and 4294967303 are
// refused for a 32-bit integer, never cut or wrapped), an amount a decimal number, a date a date, a
// boolean 0 or 1, a text free of NUL characters. An empty text stands for Null. Other types are
// converted as normalizeValue converts them. A refused value throws AppError with a Russian message
// naming `what` ("параметра @ID процедуры CloneDevice", "поля «Warranty»").
QVariant checkedValue(FieldType type, const QVariant &value, const QString &what);

// The range of an integer type, for messages and checks.
struct IntegerRange {
    qint64 min, max;
};
IntegerRange integerRange(FieldType type);
