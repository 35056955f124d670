#pragma once

#include "data/Connection.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>
#include <map>
#include <vector>

// Rows of one table written many at a time: "INSERT ... VALUES (...), (...), ..." with up to
// `rowsPerStatement` rows, each statement prepared once and reused for every batch of its size.
// With `returning`, the listed columns of the inserted rows are collected (in no set order).
class BulkInsert {
public:
    BulkInsert(Connection &cn, const QString &table, const QStringList &columns,
               const QString &returning = {}, int rowsPerStatement = 500);

    void add(QVariantList row) {
        m_pending.push_back(std::move(row));
        if (int(m_pending.size()) == m_batch)
            flush();
    }
    // Writes the rows still pending.
    void flush();
    // The rows returned since the last call.
    std::vector<QVariantList> takeReturned() { return std::exchange(m_returned, {}); }

private:
    QSqlQuery &statement(int rows);

    Connection &m_cn;
    QString m_table;
    QStringList m_columns;
    QString m_returning;
    int m_batch;
    std::vector<QVariantList> m_pending, m_returned;
    std::map<int, QSqlQuery> m_statements;
};
