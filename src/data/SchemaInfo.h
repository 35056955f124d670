#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <QVector>

// Column types as the program sees them, whatever the engine stores.
enum class FieldType {
    Unknown,
    Integer,  // 32-bit
    SmallInt, // 16-bit
    BigInt,
    Float,
    Money, // exact amount with four decimals, carried as decimal text ("12.3400")
    Boolean,
    DateTime,
    String,    // varchar(n)
    FixedChar, // char(n)
    Memo,      // long text
    Blob,
};

struct ColumnInfo {
    QString name;
    FieldType type = FieldType::Unknown;
    int size = 0;            // characters for texts, 0 when unlimited or not a text
    bool identity = false;   // assigned by the database on insert
    bool readOnly = false;   // maintained by the database, never written by the program
    QString references = {}; // the table whose key this column holds (a foreign key), or none
    // Type, width and spelling were taken from a column of the same name in some table, because
    // the driver did not say (a join, an alias, a procedure's undeclared column). A dataset keeps
    // only the spelling of such a column unless it belongs to the dataset's own table.
    bool guessed = false;
};

struct TableInfo {
    QString name;
    QVector<ColumnInfo> columns;
    QString key; // the key column

    const ColumnInfo *column(const QString &name) const;
};

// What the program knows of the tables it reads and writes: the spelling of column names (the
// PostgreSQL driver reports them folded to lower case), their types (SQLite reports most of them as
// text) and their widths (for the edit controls). Filled once by the server layer.
class SchemaInfo {
public:
    static SchemaInfo &instance();

    void addTable(const TableInfo &table);
    // Forgets a table (tests take back what they registered). Pointers handed out before are no
    // longer valid. A column name seen first in that table is then guessed from the next table
    // that has it.
    void removeTable(const QString &name);
    const TableInfo *table(const QString &name) const;
    // The column of that name in any known table (the first registered), or nullptr. Only a guess:
    // good for the spelling of a name, not for the type or width of a column of another table.
    const ColumnInfo *anyColumn(const QString &name) const;
    QVector<TableInfo> tables() const { return m_tables; }

private:
    QVector<TableInfo> m_tables;
    QHash<QString, int> m_byName;           // lower-case table name -> index
    QHash<QString, ColumnInfo> m_anyColumn; // lower-case column name -> first seen
};

// Converts a value as the driver returned it to the program's representation of the type:
// SQLite's text dates become QDateTime, its 0/1 booleans bool, money stays exact decimal text.
QVariant normalizeValue(FieldType type, const QVariant &raw);

// The value as it is bound to a statement of that engine (dates as local "yyyy-MM-dd hh:mm:ss").
QVariant bindableValue(const QVariant &value);

// Exact money arithmetic on decimal texts with four decimals.
namespace Money {
qint64 toUnits(const QVariant &value, bool *ok = nullptr); // 1 unit = 0.0001
QString fromUnits(qint64 units);                           // "12.3400"
} // namespace Money
