// Writing a dataset's rows: editing, inserting, posting with the row version checked, deleting.
#include "data/DataSet.h"

#include "data/DataValues.h"
#include "data/Errors.h"
#include "data/SqlNames.h"
#include "data/ValueCheck.h"

namespace {

const QString ConflictMessage =
    QStringLiteral("Запись изменена или удалена другим пользователем. Обновите данные и повторите изменение");

} // namespace

void DataSet::edit() {
    if (!isActive())
        throw AppError(QStringLiteral("Набор данных закрыт"));
    if (isEditing())
        return;
    if (m_readOnly)
        throw AppError(QStringLiteral("Набор данных только для чтения"));
    if (m_pos < 0)
        throw AppError(QStringLiteral("Нет записи для изменения"));
    m_buffer = m_rows[size_t(m_order[size_t(m_pos)])];
    m_original = m_buffer;
    setState(DataSetState::Edit);
}

void DataSet::insert() {
    if (!isActive())
        throw AppError(QStringLiteral("Набор данных закрыт"));
    if (m_readOnly)
        throw AppError(QStringLiteral("Набор данных только для чтения"));
    if (isEditing())
        post();
    m_buffer = QVector<QVariant>(m_columns.size());
    m_original.clear();
    m_insertAt = std::max(m_pos, 0);
    setState(DataSetState::Insert);
    if (onNewRecord)
        onNewRecord(*this);
    notifyScroll();
}

void DataSet::append() {
    insert();
    m_insertAt = int(m_order.size());
}

QStringList DataSet::writableColumns(const QString &table) const {
    const TableInfo *t = SchemaInfo::instance().table(table);
    QStringList out;
    for (const auto &f : m_fields) {
        if (f->m_column < 0 || f->isReadOnly())
            continue;
        const ColumnInfo *c = t ? t->column(f->name()) : nullptr;
        if (t && (!c || c->identity || c->readOnly))
            continue;
        if (c && c->name.compare(QStringLiteral("RowVersion"), Qt::CaseInsensitive) == 0)
            continue;
        out << f->name();
    }
    return out;
}

void DataSet::post() {
    postTogether({}, {});
}

void DataSet::postTogether(const std::function<void()> &before, const std::function<void()> &after) {
    if (!isEditing())
        return;
    if (!m_cn)
        throw AppError(QStringLiteral("Набор данных не связан с соединением"));
    // The edit as it stands: a post that succeeded moves the record into the rows (and a new one
    // gets its key), which a later failure in the same transaction must take back with it.
    const DataSetState state = m_state;
    const QVector<QVariant> buffer = m_buffer, original = m_original;
    const std::vector<int> order = m_order;
    const size_t rowCount = m_rows.size();
    const int pos = m_pos, insertAt = m_insertAt;
    const bool onRow = state == DataSetState::Edit && pos >= 0 && pos < int(m_order.size());
    const QVector<QVariant> row = onRow ? m_rows[size_t(m_order[size_t(pos)])] : QVector<QVariant>();
    try {
        Transaction tx(*m_cn);
        if (before)
            before();
        postRecord();
        if (after)
            after();
        tx.commit();
    } catch (...) {
        const bool posted = !isEditing();
        m_rows.resize(std::min(rowCount, m_rows.size()));
        if (onRow)
            m_rows[size_t(order[size_t(pos)])] = row;
        m_order = order;
        m_pos = pos;
        m_insertAt = insertAt;
        m_buffer = buffer;
        m_original = original;
        setState(state);
        if (posted) {
            notifyData();
            notifyScroll();
        }
        throw;
    }
}

void DataSet::postRecord() {
    if (beforePost)
        beforePost(*this);
    const QString table = updateTable();
    if (table.isEmpty())
        throw AppError(QStringLiteral("Набор данных только для чтения"));
    const QString key = writeKey(table).name();
    if (m_state == DataSetState::Insert)
        postInsert(table, key);
    else
        postUpdate(table, key);
    m_buffer.clear();
    m_original.clear();
    setState(DataSetState::Browse);
    notifyData();
    notifyScroll();
}

void DataSet::postInsert(const QString &table, const QString &key) {
    QStringList cols, marks;
    QVariantMap values;
    for (const QString &c : writableColumns(table)) {
        const QVariant v = m_buffer[fieldByName(c)->m_column];
        if (v.isNull())
            continue; // the column's default applies
        const QString p = QStringLiteral("p%1").arg(cols.size());
        cols << BracketName(c);
        marks << u':' + p;
        values.insert(p, v);
    }
    QString sql = QStringLiteral("INSERT INTO ") + BracketName(table);
    sql += cols.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                          : QStringLiteral(" (%1) VALUES (%2)").arg(cols.join(u','), marks.join(u','));
    sql += QStringLiteral(" RETURNING ") + BracketName(key);
    const QVariant keyValue = m_cn->scalar(sql, values);

    std::vector<QVector<QVariant>>::size_type index = m_rows.size();
    m_rows.push_back(m_buffer);
    const int at = std::clamp(m_insertAt, 0, int(m_order.size()));
    m_order.insert(m_order.begin() + at, int(index));
    m_pos = at;
    m_buffer.clear();
    reloadRow(table, key, keyValue);
}

void DataSet::postUpdate(const QString &table, const QString &key) {
    const Field *keyF = fieldByName(key);
    const QVariant keyValue = m_original[keyF->m_column];
    const TableInfo *t = SchemaInfo::instance().table(table);
    const Field *versionF =
        t && t->column(QStringLiteral("RowVersion")) ? findField(QStringLiteral("RowVersion")) : nullptr;
    QStringList sets, where{BracketName(key) + QStringLiteral(" = :k")};
    QVariantMap values{{QStringLiteral("k"), keyValue}};
    for (const QString &c : writableColumns(table)) {
        const int col = fieldByName(c)->m_column;
        if (SameValue(m_buffer[col], m_original[col], false, false) &&
            m_buffer[col].isNull() == m_original[col].isNull())
            continue;
        const QString p = QStringLiteral("v%1").arg(sets.size());
        sets << BracketName(c) + QStringLiteral(" = :") + p;
        values.insert(p, m_buffer[col]);
        if (!versionF) {
            // Without a row version the changed columns must still hold what was read.
            const QString o = QStringLiteral("o%1").arg(sets.size());
            if (m_original[col].isNull())
                where << BracketName(c) + QStringLiteral(" IS NULL");
            else {
                where << BracketName(c) + QStringLiteral(" = :") + o;
                values.insert(o, m_original[col]);
            }
        }
    }
    if (sets.isEmpty()) {
        // Nothing changed; still tell a deleted row from a present one.
        if (!m_cn->scalar(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = :k")
                              .arg(BracketName(table), BracketName(key)),
                          {{QStringLiteral("k"), keyValue}})
                 .isValid())
            throw ConflictError(ConflictMessage);
        m_rows[size_t(m_order[size_t(m_pos)])] = m_buffer;
        return;
    }
    if (versionF) {
        sets << QStringLiteral("[RowVersion] = [RowVersion] + 1");
        where << QStringLiteral("[RowVersion] = :rv");
        values.insert(QStringLiteral("rv"), m_original[versionF->m_column]);
    }
    const QString sql =
        QStringLiteral("UPDATE %1 SET %2 WHERE %3")
            .arg(BracketName(table), sets.join(QStringLiteral(", ")), where.join(QStringLiteral(" AND ")));
    {
        Transaction tx(*m_cn);
        exactlyOneRow(m_cn->execute(sql, values), table, sql);
        tx.commit();
    }
    m_rows[size_t(m_order[size_t(m_pos)])] = m_buffer;
    reloadRow(table, key, keyValue);
}

void DataSet::exactlyOneRow(int affected, const QString &table, const QString &sql) {
    // No row: another workstation changed or removed it meanwhile. More than one: the key does
    // not name one row; the transaction around the statement takes the change back.
    if (affected == 0)
        throw ConflictError(ConflictMessage, sql);
    if (affected != 1)
        throw DatabaseError(
            QStringLiteral("Изменение записи таблицы «%1» затронуло бы %2 записей вместо одной; "
                           "оно отменено")
                .arg(table)
                .arg(affected),
            sql);
}

void DataSet::reloadRow(const QString &table, const QString &key, const QVariant &keyValue) {
    // What the database filled in itself (key, defaults, derived texts, counters) comes back.
    const ResultSet rs = m_cn->query(
        QStringLiteral("SELECT * FROM %1 WHERE %2 = :k").arg(BracketName(table), BracketName(key)),
        {{QStringLiteral("k"), keyValue}});
    auto &row = m_rows[size_t(m_order[size_t(m_pos)])];
    if (rs.rows.empty()) {
        if (const Field *kf = findField(key))
            row[kf->m_column] = keyValue;
        return;
    }
    for (int i = 0; i < rs.columns.size(); ++i)
        if (const Field *f = findField(rs.columns[i].name); f && f->m_column >= 0)
            row[f->m_column] = normalizeValue(f->type(), rs.rows.front()[i]);
}

void DataSet::cancel() {
    if (!isEditing())
        return;
    m_buffer.clear();
    m_original.clear();
    setState(DataSetState::Browse);
    notifyScroll();
}

void DataSet::remove() {
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    if (!isActive() || m_pos < 0)
        throw AppError(QStringLiteral("Нет записи для удаления"));
    if (m_readOnly)
        throw AppError(QStringLiteral("Набор данных только для чтения"));
    if (isEditing())
        cancel();
    const QString table = updateTable();
    if (table.isEmpty())
        throw AppError(QStringLiteral("Набор данных только для чтения"));
    const Field &keyF = writeKey(table);
    const QVariant keyValue = m_rows[size_t(m_order[size_t(m_pos)])][keyF.m_column];
    const QString sql =
        QStringLiteral("DELETE FROM %1 WHERE %2 = :k").arg(BracketName(table), BracketName(keyF.name()));
    {
        Transaction tx(*m_cn);
        exactlyOneRow(m_cn->execute(sql, {{QStringLiteral("k"), keyValue}}), table, sql);
        tx.commit();
    }
    m_order.erase(m_order.begin() + m_pos);
    if (m_pos >= int(m_order.size()))
        m_pos = int(m_order.size()) - 1;
    notifyData();
    notifyScroll();
}
