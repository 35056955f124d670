#pragma once

#include "data/Procedures.h"

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class DataSet;

enum class CommandType { Text, Table, StoredProc };
enum class DataSetState { Inactive, Browse, Edit, Insert };

struct FieldDef {
    QString name;
    FieldType type = FieldType::Unknown;
    int size = 0;
    bool readOnly = false;
    QString displayFormat;                         // for dates: a QDateTime format, e.g. "dd.MM.yyyy"
    std::function<QVariant(const DataSet &)> calc; // set for a calculated field
};

class Field {
public:
    const QString &name() const { return m_def.name; }
    FieldType type() const { return m_def.type; }
    int size() const { return m_def.size; }
    bool isReadOnly() const { return m_def.readOnly || isCalculated(); }
    bool isCalculated() const { return bool(m_def.calc); }
    const QString &displayFormat() const { return m_def.displayFormat; }
    void setDisplayFormat(const QString &f) { m_def.displayFormat = f; }
    int index() const { return m_index; }
    DataSet *dataSet() const { return m_dataSet; }

    QVariant value() const;
    void setValue(const QVariant &v); // the dataset must be editing or inserting
    bool isNull() const { return value().isNull(); }
    void clear() { setValue(QVariant()); }

    QString asString() const;
    int asInt() const { return value().toInt(); }
    bool asBool() const { return value().toBool(); }
    QString displayText() const; // formatted for grids and labels

private:
    friend class DataSet;
    Field(DataSet *ds, FieldDef def, int index, int column)
        : m_dataSet(ds), m_def(std::move(def)), m_index(index), m_column(column) {}
    DataSet *m_dataSet;
    FieldDef m_def;
    int m_index;
    int m_column; // index into the row values, -1 for a calculated field
};

// A dataset with client-side rows: a command (SQL text with :name parameters, a table, or a
// server procedure), parameters, fields, a current record, editing with optimistic posting, a
// client-side sort, master/detail, and change notifications that can be suspended.
class DataSet : public QObject {
    Q_OBJECT
public:
    explicit DataSet(Connection *cn = nullptr, QObject *parent = nullptr);
    ~DataSet() override;

    Connection *connection() const { return m_cn; }
    void setConnection(Connection *cn) { m_cn = cn; }

    // Setting the command declares the parameters: the text's :names, or @RETURN_VALUE and the
    // procedure's own for a stored procedure.
    void setCommand(const QString &text, CommandType type = CommandType::Text);
    const QString &commandText() const { return m_command; }
    CommandType commandType() const { return m_commandType; }

    QVector<Parameter> &parameters() { return m_params; }
    const QVector<Parameter> &parameters() const { return m_params; }
    Parameter *findParameter(const QString &name);
    Parameter &parameter(const QString &name); // throws when absent
    void setParameterValue(const QString &name, const QVariant &value) { parameter(name).value = value; }

    // Declared fields keep their spelling and type; result columns not declared become fields too.
    void addField(FieldDef def);
    void clearFieldDefs() { m_defs.clear(); }
    void setReadOnly(bool ro) { m_readOnly = ro; }
    bool isReadOnly() const { return m_readOnly; }
    // Where Post writes; inferred from the command when not set ("select ... from T where ...").
    void setUpdateTable(const QString &table, const QString &keyField = {});
    QString updateTable() const;

    // Master/detail: the detail's parameters of the same names take the master's current field
    // values, and the detail reopens whenever the master's current row changes.
    void setMaster(DataSet *master, const QStringList &masterFields);

    void open();
    void close();
    void refresh();  // reopen and return to the same key (first field) when possible
    void execProc(); // runs the command without expecting rows
    bool isActive() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }
    bool isEditing() const { return m_state == DataSetState::Edit || m_state == DataSetState::Insert; }

    int recordCount() const { return int(m_order.size()); }
    bool isEmpty() const { return m_order.empty(); }
    int recNo() const { return m_pos; } // 0-based, -1 when empty
    void setRecNo(int row);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    void first();
    void last();
    void next();
    void prior();
    // Exact match unless told otherwise; fields separated by ";". Moves and returns true when found.
    bool locate(const QString &fields, const QVariantList &values, bool caseInsensitive = false,
                bool partial = false);
    bool locate(const QString &field, const QVariant &value) { return locate(field, QVariantList{value}); }

    // "ModlWeight DESC;Name;" sorts the rows in memory; empty restores the fetched order.
    void setSort(const QString &sort);
    const QString &sort() const { return m_sort; }

    int fieldCount() const { return int(m_fields.size()); }
    Field *field(int i) const { return m_fields[size_t(i)].get(); }
    Field *findField(const QString &name) const;
    Field *fieldByName(const QString &name) const; // throws when absent
    QVariant value(const QString &fieldName) const { return fieldByName(fieldName)->value(); }
    // The value of a field in any row (0-based, in the current order); no cursor move.
    QVariant valueAt(int row, int field) const;

    void edit();
    void insert(); // a new record at the current position
    void append(); // a new record at the end
    // Writes the record (and reads back what the database filled in) in one transaction. A post
    // that fails stores nothing and leaves the record in its edit or insert with the values as they
    // were.
    void post();
    // Posts the record together with further writes, all in one transaction: `before` runs first,
    // then the post, then `after` (which sees the posted record, a new key included). When any step
    // or the commit fails, nothing is stored and the record is back in its edit or insert with the
    // values as they were, so that posting again retries the whole.
    void postTogether(const std::function<void()> &before, const std::function<void()> &after);
    void cancel();
    void remove();

    // Suspends notifications (nesting); the last enable announces one full change.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disabled > 0; }

    // Called for a new record after its defaults are cleared; callers preset fields here.
    std::function<void(DataSet &)> onNewRecord;
    // Checked before posting; throw to refuse.
    std::function<void(DataSet &)> beforePost;

signals:
    void stateChanged();
    void dataChanged(); // rows reloaded, sorted, posted or deleted
    void scrolled();    // another record became current
    void fieldChanged(Field *field);

private:
    friend class Field;
    QVariant currentValue(int column) const;
    void setBufferValue(Field *f, const QVariant &v);
    void load(const ResultSet &rs);
    void buildFields(const QVector<ColumnInfo> &columns);
    void applySort();
    void moveTo(int pos);
    void setState(DataSetState s);
    void notifyData();
    void notifyScroll();
    void bindMaster();
    void postRecord();
    void postInsert(const QString &table, const QString &key);
    void postUpdate(const QString &table, const QString &key);
    void reloadRow(const QString &table, const QString &key, const QVariant &keyValue);
    QString keyField() const; // empty when not known
    // The key field by which a row of `table` is written; AppError when it is not known.
    const Field &writeKey(const QString &table) const;
    // Refuses a write that changed no row (a conflict) or more than one.
    static void exactlyOneRow(int affected, const QString &table, const QString &sql);
    QStringList writableColumns(const QString &table) const;

    Connection *m_cn;
    QString m_command;
    CommandType m_commandType = CommandType::Text;
    QVector<Parameter> m_params;
    QVector<FieldDef> m_defs;
    std::vector<std::unique_ptr<Field>> m_fields;
    QVector<ColumnInfo> m_columns;
    std::vector<QVector<QVariant>> m_rows;
    std::vector<int> m_order; // display order -> index into m_rows
    int m_pos = -1;
    bool m_eof = true, m_bof = true;
    QString m_sort;
    DataSetState m_state = DataSetState::Inactive;
    QVector<QVariant> m_buffer, m_original;
    int m_insertAt = -1;
    bool m_readOnly = false;
    QString m_updateTable, m_updateKey;
    int m_calcRow = -1; // the row a calculated value of another row is computed for
    DataSet *m_master = nullptr;
    QStringList m_masterFields;
    QMetaObject::Connection m_masterScroll, m_masterData;
    int m_disabled = 0;
    bool m_pendingData = false;
};
