#include "data/DataSet.h"

#include "data/DataValues.h"
#include "data/Errors.h"
#include "data/SqlNames.h"
#include "data/TessalString.h"
#include "data/ValueCheck.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>
// ---------------------------------------------------------------------------------------------
// Field

QVariant Field::value() const {
    if (m_def.calc)
        return m_dataSet->isActive() ? m_def.calc(*m_dataSet) : QVariant();
    return m_dataSet->currentValue(m_column);
}

void Field::setValue(const QVariant &v) {
    m_dataSet->setBufferValue(this, v);
}

QString Field::asString() const {
    const QVariant v = value();
    if (v.isNull())
        return QString();
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    return v.toString();
}

QString Field::displayText() const {
    const QVariant v = value();
    if (v.isNull())
        return QString();
    if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate) {
        const QDateTime dt = v.toDateTime();
        if (!m_def.displayFormat.isEmpty())
            return QLocale(QLocale::Russian).toString(dt, m_def.displayFormat); // month names in Russian
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("dd.MM.yyyy"))
                                        : dt.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    }
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("Да") : QStringLiteral("Нет");
    return v.toString();
}

// ---------------------------------------------------------------------------------------------
// DataSet

DataSet::DataSet(Connection *cn, QObject *parent) : QObject(parent), m_cn(cn) {}

DataSet::~DataSet() = default;

void DataSet::setCommand(const QString &text, CommandType type) {
    if (isActive())
        close();
    m_command = text;
    m_commandType = type;
    m_params.clear();
    if (type == CommandType::StoredProc) {
        if (ProcedureCatalogue::instance().find(text))
            m_params = procedureParameters(text);
    } else if (type == CommandType::Text) {
        const PreparedSql p = prepareSql(text, Engine::SQLite);
        for (const QString &n : p.uniqueNames())
            m_params << Parameter{n, FieldType::Unknown, 0, ParamDirection::Input, {}};
    }
}

Parameter *DataSet::findParameter(const QString &name) {
    const QString n = BareName(name);
    for (Parameter &p : m_params)
        if (BareName(p.name).compare(n, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

Parameter &DataSet::parameter(const QString &name) {
    if (Parameter *p = findParameter(name))
        return *p;
    throw AppError(QStringLiteral("Параметр «%1» не найден").arg(name));
}

void DataSet::addField(FieldDef def) {
    m_defs << std::move(def);
}

void DataSet::setUpdateTable(const QString &table, const QString &keyField) {
    m_updateTable = table;
    m_updateKey = keyField;
}

QString DataSet::updateTable() const {
    if (!m_updateTable.isEmpty())
        return m_updateTable;
    if (m_commandType == CommandType::Table)
        return BareName(m_command.trimmed());
    if (m_commandType == CommandType::Text)
        return SelectTable(m_command);
    return QString();
}

QString DataSet::keyField() const {
    // Only a key that is known: the one given with the update table, else the table's declared
    // key. A guessed column could name many rows, and a post or delete by it would change them all.
    if (!m_updateKey.isEmpty())
        return m_updateKey;
    if (const TableInfo *t = SchemaInfo::instance().table(updateTable()); t && !t->key.isEmpty())
        return t->key;
    return QString();
}

const Field &DataSet::writeKey(const QString &table) const {
    const QString key = keyField();
    const Field *f = key.isEmpty() ? nullptr : findField(key);
    if (!f || f->isCalculated())
        throw AppError(QStringLiteral("Запись таблицы «%1» нельзя сохранить или удалить: не известен её ключ")
                           .arg(table));
    return *f;
}

void DataSet::setMaster(DataSet *master, const QStringList &masterFields) {
    disconnect(m_masterScroll);
    disconnect(m_masterData);
    m_master = master;
    m_masterFields = masterFields;
    if (!master)
        return;
    auto reopen = [this] {
        if (!isActive() || (m_master && m_master->isEditing()))
            return;
        close();
        open();
    };
    m_masterScroll = connect(master, &DataSet::scrolled, this, reopen);
    m_masterData = connect(master, &DataSet::dataChanged, this, reopen);
}

void DataSet::bindMaster() {
    if (!m_master)
        return;
    for (const QString &f : m_masterFields) {
        Parameter *p = findParameter(f);
        if (!p)
            continue;
        const Field *mf = m_master->isActive() ? m_master->findField(f) : nullptr;
        p->value = mf && !m_master->isEmpty() ? mf->value() : QVariant();
    }
}

void DataSet::open() {
    if (isActive())
        return;
    if (!m_cn)
        throw AppError(QStringLiteral("Набор данных не связан с соединением"));
    bindMaster();
    ResultSet rs;
    switch (m_commandType) {
    case CommandType::StoredProc:
        if (m_params.isEmpty() && ProcedureCatalogue::instance().find(m_command))
            m_params = procedureParameters(m_command);
        rs = callProcedure(*m_cn, m_command, m_params);
        break;
    case CommandType::Table:
        rs = m_cn->query(QStringLiteral("SELECT * FROM ") + BracketName(BareName(m_command.trimmed())));
        break;
    case CommandType::Text:
        if (const QString proc = executedProcedureName(m_command); !proc.isEmpty()) {
            // "EXECUTE Name :P": the text's parameters are the procedure's, by position.
            QVector<Parameter> call = executeArguments(m_command, m_params);
            rs = callProcedure(*m_cn, proc, call);
        } else {
            QVariantMap values;
            for (const Parameter &p : m_params)
                values.insert(BareName(p.name), p.value);
            rs = m_cn->query(m_command, values);
        }
        break;
    }
    load(rs);
}

void DataSet::execProc() {
    if (!m_cn)
        throw AppError(QStringLiteral("Набор данных не связан с соединением"));
    if (m_commandType == CommandType::StoredProc) {
        if (m_params.isEmpty() && ProcedureCatalogue::instance().find(m_command))
            m_params = procedureParameters(m_command);
        callProcedure(*m_cn, m_command, m_params);
    } else {
        QVariantMap values;
        for (const Parameter &p : m_params)
            values.insert(BareName(p.name), p.value);
        m_cn->execute(m_command, values);
    }
}

void DataSet::load(const ResultSet &rs) {
    m_columns = rs.columns;
    // Columns of the dataset's own table take the table's spelling, type and width. Any other
    // column keeps what the driver or the procedure said of it: a type guessed from a column of the
    // same name in some other table (every ID would look like Trademark's) is dropped, and a
    // declared field gives the type instead (buildFields).
    const TableInfo *own = SchemaInfo::instance().table(updateTable());
    for (ColumnInfo &c : m_columns) {
        if (const ColumnInfo *tc = own ? own->column(c.name) : nullptr) {
            c = *tc;
        } else if (c.guessed) {
            // Values already read as a date, a flag or an amount keep that type; nothing else of
            // the other table's column counts.
            if (c.type != FieldType::DateTime && c.type != FieldType::Boolean && c.type != FieldType::Money)
                c.type = FieldType::Unknown;
            c.size = 0;
            c.readOnly = false;
            c.guessed = false;
        }
    }
    m_rows = rs.rows;
    buildFields(rs.columns);
    m_order.resize(m_rows.size());
    for (size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = int(i);
    m_state = DataSetState::Browse;
    applySort();
    m_pos = m_order.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_order.empty();
    emit stateChanged();
    notifyData();
    notifyScroll();
}

void DataSet::buildFields(const QVector<ColumnInfo> &fetched) {
    m_fields.clear();
    QVector<bool> used(m_columns.size(), false);
    auto columnOf = [this](const QString &name) {
        for (int i = 0; i < m_columns.size(); ++i)
            if (m_columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    };
    for (const FieldDef &d : m_defs) {
        FieldDef def = d;
        int col = -1;
        if (!def.calc) {
            col = columnOf(def.name);
            if (col < 0) {
                m_state = DataSetState::Inactive;
                throw AppError(QStringLiteral("Поле «%1» не найдено в наборе данных").arg(def.name));
            }
            used[col] = true;
            const ColumnInfo &c = m_columns[col];
            if (def.type == FieldType::Unknown)
                def.type = c.type;
            if (def.size == 0)
                def.size = c.size;
            def.readOnly = def.readOnly || c.readOnly || c.identity;
            m_columns[col].type = def.type;
        }
        m_fields.push_back(std::unique_ptr<Field>(new Field(this, def, int(m_fields.size()), col)));
    }
    for (int i = 0; i < m_columns.size(); ++i) {
        if (used[i])
            continue;
        const ColumnInfo &c = m_columns[i];
        FieldDef def{c.name, c.type, c.size, c.readOnly || c.identity, {}, {}};
        m_fields.push_back(std::unique_ptr<Field>(new Field(this, def, int(m_fields.size()), i)));
    }
    // Bring the values to the types the fields declare (SQLite hands most of them over as text).
    for (int i = 0; i < m_columns.size(); ++i) {
        const FieldType t = m_columns[i].type;
        if (t == FieldType::Unknown || (i < fetched.size() && fetched[i].type == t))
            continue;
        for (auto &row : m_rows)
            row[i] = normalizeValue(t, row[i]);
    }
}

void DataSet::close() {
    if (m_state == DataSetState::Inactive)
        return;
    m_state = DataSetState::Inactive;
    m_rows.clear();
    m_order.clear();
    m_buffer.clear();
    m_original.clear();
    m_pos = -1;
    m_eof = m_bof = true;
    emit stateChanged();
    notifyData();
}

void DataSet::refresh() {
    const QVariant key = isActive() && !isEmpty() && fieldCount() > 0 ? field(0)->value() : QVariant();
    const int pos = m_pos;
    close();
    open();
    if (key.isNull() || !locate(field(0)->name(), key))
        setRecNo(std::min(pos, recordCount() - 1));
}

QVariant DataSet::currentValue(int column) const {
    if (column < 0)
        return QVariant();
    if (m_calcRow >= 0 && m_calcRow != m_pos)
        return m_calcRow < int(m_order.size()) ? m_rows[size_t(m_order[size_t(m_calcRow)])][column]
                                               : QVariant();
    if (isEditing())
        return column < m_buffer.size() ? m_buffer[column] : QVariant();
    if (m_pos < 0 || m_pos >= int(m_order.size()))
        return QVariant();
    return m_rows[size_t(m_order[size_t(m_pos)])][column];
}

QVariant DataSet::valueAt(int row, int fieldIndex) const {
    if (row < 0 || row >= int(m_order.size()) || fieldIndex < 0 || fieldIndex >= fieldCount())
        return QVariant();
    const Field *f = m_fields[size_t(fieldIndex)].get();
    if (f->m_column < 0) {
        if (row == m_pos)
            return f->value();
        // A calculated value of another row: the values it reads are that row's, as stored (the
        // edit buffer belongs to the current row only); the cursor stays where it is.
        auto *self = const_cast<DataSet *>(this);
        const int keep = m_calcRow;
        self->m_calcRow = row;
        QVariant v;
        try {
            v = f->m_def.calc(*this);
        } catch (...) {
            self->m_calcRow = keep;
            throw;
        }
        self->m_calcRow = keep;
        return v;
    }
    return m_rows[size_t(m_order[size_t(row)])][f->m_column];
}

void DataSet::setBufferValue(Field *f, const QVariant &v) {
    if (f->isReadOnly())
        throw AppError(QStringLiteral("Поле «%1» нельзя изменять").arg(f->name()));
    if (!isEditing())
        throw AppError(QStringLiteral("Набор данных не в режиме редактирования"));
    QVariant value = checkedValue(f->type(), v, QStringLiteral("поля «%1»").arg(f->name()));
    if ((f->type() == FieldType::String || f->type() == FieldType::FixedChar) && f->size() > 0 &&
        value.toString().size() > f->size())
        throw AppError(QStringLiteral("Текст поля «%1» длиннее %2 символов").arg(f->name()).arg(f->size()));
    m_buffer[f->m_column] = value;
    if (m_disabled == 0)
        emit fieldChanged(f);
    else
        m_pendingData = true;
}

void DataSet::setRecNo(int row) {
    if (m_order.empty()) {
        moveTo(-1);
        return;
    }
    moveTo(std::clamp(row, 0, int(m_order.size()) - 1));
}

void DataSet::moveTo(int pos) {
    if (isEditing())
        post();
    const bool changed = pos != m_pos;
    m_pos = pos;
    if (changed)
        notifyScroll();
}

void DataSet::first() {
    m_bof = true;
    m_eof = m_order.empty();
    moveTo(m_order.empty() ? -1 : 0);
}

void DataSet::last() {
    m_eof = true;
    m_bof = m_order.empty();
    moveTo(int(m_order.size()) - 1);
}

void DataSet::next() {
    m_bof = false;
    if (m_pos + 1 >= int(m_order.size())) {
        m_eof = true;
        return;
    }
    moveTo(m_pos + 1);
}

void DataSet::prior() {
    m_eof = false;
    if (m_pos <= 0) {
        m_bof = true;
        return;
    }
    moveTo(m_pos - 1);
}

bool DataSet::locate(const QString &fields, const QVariantList &values, bool caseInsensitive, bool partial) {
    if (!isActive())
        return false;
    QVector<int> cols;
    for (const QString &name : fields.split(u';', Qt::SkipEmptyParts))
        cols << fieldByName(name.trimmed())->index();
    for (int r = 0; r < int(m_order.size()); ++r) {
        bool all = true;
        for (int k = 0; k < cols.size() && all; ++k) {
            const QVariant want = k < values.size() ? values[k] : QVariant();
            all = SameValue(valueAt(r, cols[k]), want, caseInsensitive, partial);
        }
        if (all) {
            m_eof = m_bof = false;
            moveTo(r);
            return true;
        }
    }
    return false;
}

void DataSet::setSort(const QString &sort) {
    m_sort = sort;
    if (!isActive())
        return;
    const int current = m_pos >= 0 ? m_order[size_t(m_pos)] : -1;
    for (size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = int(i);
    applySort();
    if (current >= 0)
        m_pos = int(std::find(m_order.begin(), m_order.end(), current) - m_order.begin());
    notifyData();
}

void DataSet::applySort() {
    struct Key {
        int field;
        bool desc;
    };
    QVector<Key> keys;
    for (const QString &part : m_sort.split(u';', Qt::SkipEmptyParts)) {
        QStringList words = part.simplified().split(u' ');
        bool desc = false;
        if (words.size() > 1 && words.last().compare(QStringLiteral("DESC"), Qt::CaseInsensitive) == 0) {
            desc = true;
            words.removeLast();
        } else if (words.size() > 1 &&
                   words.last().compare(QStringLiteral("ASC"), Qt::CaseInsensitive) == 0) {
            words.removeLast();
        }
        keys << Key{fieldByName(words.join(u' '))->index(), desc};
    }
    if (keys.isEmpty())
        return;
    // Calculated fields need a current row; sort on plain columns directly.
    QVector<int> cols;
    QVector<bool> money; // amounts are kept as texts: compared by their value
    for (const Key &k : keys) {
        cols << m_fields[size_t(k.field)]->m_column;
        money << (m_fields[size_t(k.field)]->type() == FieldType::Money);
    }
    auto compareAmounts = [](const QVariant &a, const QVariant &b) {
        const bool an = a.isNull() || !a.isValid(), bn = b.isNull() || !b.isValid();
        if (an || bn)
            return an == bn ? 0 : (an ? -1 : 1);
        const qint64 x = Money::toUnits(a), y = Money::toUnits(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    };
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        for (int k = 0; k < keys.size(); ++k) {
            if (cols[k] < 0)
                continue;
            const QVariant &x = m_rows[size_t(a)][cols[k]], &y = m_rows[size_t(b)][cols[k]];
            const int c = money[k] ? compareAmounts(x, y) : CompareValues(x, y);
            if (c != 0)
                return keys[k].desc ? c > 0 : c < 0;
        }
        return false;
    });
}

Field *DataSet::findField(const QString &name) const {
    for (const auto &f : m_fields)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

Field *DataSet::fieldByName(const QString &name) const {
    if (Field *f = findField(name))
        return f;
    throw AppError(QStringLiteral("Поле «%1» не найдено в наборе данных").arg(name));
}

void DataSet::setState(DataSetState s) {
    if (m_state == s)
        return;
    m_state = s;
    if (m_disabled == 0)
        emit stateChanged();
    else
        m_pendingData = true;
}

void DataSet::disableControls() {
    ++m_disabled;
}

void DataSet::enableControls() {
    if (m_disabled == 0 || --m_disabled > 0)
        return;
    if (m_pendingData) {
        m_pendingData = false;
        emit stateChanged();
        emit dataChanged();
        emit scrolled();
    }
}

void DataSet::notifyData() {
    if (m_disabled > 0)
        m_pendingData = true;
    else
        emit dataChanged();
}

void DataSet::notifyScroll() {
    if (m_disabled > 0)
        m_pendingData = true;
    else
        emit scrolled();
}
