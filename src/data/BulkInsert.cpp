#include "data/BulkInsert.h"

#include "data/Errors.h"
#include "data/SchemaInfo.h"
#include "data/SqlText.h"

#include <QSqlError>
#include <QSqlRecord>

BulkInsert::BulkInsert(Connection &cn, const QString &table, const QStringList &columns,
                       const QString &returning, int rowsPerStatement)
    : m_cn(cn), m_table(table), m_columns(columns), m_returning(returning), m_batch(rowsPerStatement) {
    m_pending.reserve(size_t(m_batch));
}

void BulkInsert::flush() {
    if (m_pending.empty())
        return;
    QSqlQuery &q = statement(int(m_pending.size()));
    for (const QVariantList &row : m_pending)
        for (const QVariant &v : row)
            q.addBindValue(bindableValue(v));
    if (!q.exec())
        throw DatabaseError(describeError(m_cn.engine(), q.lastError()), q.lastQuery());
    if (!m_returning.isEmpty())
        while (q.next()) {
            QVariantList r;
            for (int i = 0; i < q.record().count(); ++i)
                r << q.value(i);
            m_returned.push_back(std::move(r));
        }
    q.finish();
    m_pending.clear();
}

QSqlQuery &BulkInsert::statement(int rows) {
    auto it = m_statements.find(rows);
    if (it != m_statements.end())
        return it->second;
    QStringList cols, marks, values;
    for (const QString &c : m_columns)
        cols << u'[' + c + u']';
    int n = 0;
    for (int r = 0; r < rows; ++r) {
        marks.clear();
        for (int c = 0; c < m_columns.size(); ++c)
            marks << QStringLiteral(":p%1").arg(n++);
        values << u'(' + marks.join(u',') + u')';
    }
    QString sql =
        QStringLiteral("INSERT INTO [%1] (%2) VALUES %3").arg(m_table, cols.join(u','), values.join(u','));
    if (!m_returning.isEmpty())
        sql += QStringLiteral(" RETURNING ") + m_returning;
    const PreparedSql p = prepareSql(sql, m_cn.engine());
    QSqlQuery q(m_cn.database());
    q.setForwardOnly(true);
    if (!q.prepare(p.text))
        throw DatabaseError(describeError(m_cn.engine(), q.lastError()), sql);
    return m_statements.emplace(rows, std::move(q)).first->second;
}
