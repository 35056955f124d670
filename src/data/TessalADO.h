#pragma once

#include "data/DataSet.h"

// Argument tags of OpenWithParams and formatted messages.
enum TypedTag {
    vtInteger = 0,
    vtBoolean = 1,
    vtChar = 2,
    vtExtended = 3,
    vtString = 4,
    vtPointer = 5,
    vtPChar = 6,
    vtObject = 7,
    vtClass = 8,
    vtWideChar = 9,
    vtPWideChar = 10,
    vtAnsiString = 11,
    vtCurrency = 12,
    vtVariant = 13,
    vtInterface = 14,
    vtWideString = 15,
    vtInt64 = 16,
    vtUnicodeString = 17,
};

struct TypedValue {
    int tag = vtVariant;
    QVariant value;

    static TypedValue Int(int v) { return {vtInteger, v}; }
    static TypedValue Bool(bool v) { return {vtBoolean, v}; }
    static TypedValue Text(const QString &v) { return {vtUnicodeString, v}; }
    static TypedValue Char(QChar v) { return {vtChar, QString(v)}; }
    static TypedValue Float(double v) { return {vtExtended, v}; }
    static TypedValue Currency(const QString &v) { return {vtCurrency, v}; }
    static TypedValue Variant(const QVariant &v) { return {vtVariant, v}; }
};
using TypedValues = QList<TypedValue>;

// The find procedures return at most FindRowLimit + 1 rows: a find dialog shows FindRowLimit of them
// and, when one more came, a last line saying that more were found.
constexpr int FindRowLimit = 300;

// OLE-style type codes of a value, as IsEmptyValue tells them apart.
enum VariantCode {
    varEmpty = 0x0000,
    varNull = 0x0001,
    varSmallint = 0x0002,
    varInteger = 0x0003,
    varSingle = 0x0004,
    varDouble = 0x0005,
    varCurrency = 0x0006,
    varDate = 0x0007,
    varOleStr = 0x0008,
    varBoolean = 0x000B,
    varVariant = 0x000C,
    varUnknown = 0x000D,
    varString = 0x0100,
    varUString = 0x0102,
    varArray = 0x2000,
};
int variantCode(const QVariant &v);

// The value an argument of that tag is bound as; refused tags raise
// "Неопределённый тип параметра (%d).".
QVariant typedValueToVariant(const TypedValue &tv);

// Closes the dataset, binds its parameters by position from the list (after @RETURN_VALUE for a
// procedure; missing ones Null, surplus ones ignored) and opens it. `last` is the index of the
// last element to use (-1 for none).
void OpenWithParams(DataSet &ds, const TypedValues &args, int last);
inline void OpenWithParams(DataSet &ds, const TypedValues &args = {}) {
    OpenWithParams(ds, args, int(args.size()) - 1);
}

// A statement to run without rows.
class Command {
public:
    explicit Command(Connection *cn = nullptr) : m_cn(cn) {}
    Connection *connection() const { return m_cn; }
    void setConnection(Connection *cn) { m_cn = cn; }
    QString text;

private:
    Connection *m_cn;
};

bool ExecuteCommand(Command &cmd, const QString &text);
bool ExecuteSql(Connection &cn, const QString &text);
// Null when no row, the value when one column, else a list of the first row's values.
QVariant QueryValueOn(DataSet &ds, const QString &text);
QVariant QueryValue(Connection &cn, const QString &text);
// "DELETE FROM <table> WHERE <column> = :Key", the key bound as a value, never spliced in.
QString DeleteByKeyStatement(const QString &table, const QString &column);
void DeleteByKey(const QString &table, const Field &keyField, const QString &keyName);
bool IsEmptyValue(const QVariant &v);
// The value of a field, by the field's type: a money field (carried as decimal text) is empty when
// its amount is 0, as a currency value is; every other field as IsEmptyValue of its value.
bool IsEmptyValue(const Field &field);
QVariant IfThenValue(bool condition, const QVariant &a, const QVariant &b);
bool IsDataSetActive(const DataSet &ds);
bool HasRecords(const DataSet &ds);
void SetFieldValue(Field &field, const QVariant &value);
void EnsureEditing(DataSet &ds);
