#pragma once

#include "data/SchemaInfo.h"

#include <QHash>
#include <QStringList>

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

// The column of a known table that each parameter of a statement is written into, for statements
// of the forms "INSERT INTO T (a, b) VALUES (:x, :y)" (several rows too) and
// "UPDATE T SET a = :x, b = :y WHERE ...", where the parameter stands alone as the value; the key
// is the parameter's name in lower case. Other statements and other places give nothing.
QHash<QString, ColumnInfo> parameterColumns(const QString &sql);

// The values of a statement's parameters (bound by position to its parameter names in the order
// of their first appearance) checked against the columns they are written into, as checkedValue
// checks them, so that a text such as "1e3" is refused for an integer column on both engines
// rather than turned into a number by SQLite. A blank text is left for the database to judge.
QVariantList checkedStatementValues(const QString &sql, const QStringList &names, const QVariantList &values);
