#pragma once

#include "data/Connection.h"

#include <QStringView>
#include <memory>

// Reads the rows of a statement one at a time straight from the engine's client library, without
// a QVariant and a QString for every value: for the reads of whole large tables (the placement
// tree), where making those costs more than the database takes to send the rows. Integer columns
// (up to 64 bits) and texts only; the statement takes no parameters and runs in the connection's
// current transaction.
//
//     RowScan rows(cn, "SELECT IdDevice, DevcName FROM DeviceUnit");
//     while (rows.next())
//         use(rows.integer(0), rows.text(1));
class RowScanBatch;

class RowScan {
public:
    RowScan(const Connection &cn, const QString &sql); // runs it; throws DatabaseError
    // The rows of the batch's next statement; throws DatabaseError for it (or one before it).
    explicit RowScan(RowScanBatch &batch);
    ~RowScan();
    RowScan(const RowScan &) = delete;
    RowScan &operator=(const RowScan &) = delete;

    // The number of rows, when the engine tells it before they are read; -1 otherwise.
    qint64 size() const;
    bool next(); // throws DatabaseError when the engine fails half-way
    bool isNull(int column) const;
    qint64 integer(int column) const;   // 0 for NULL
    QStringView text(int column) const; // empty for NULL; valid until the next call of next()

    class Source;

private:
    std::unique_ptr<Source> m_source;
};

// Statements that return rows, read one after another by RowScans made from the batch, in their
// order. PostgreSQL gets them all in one round trip, and runs each while the rows of the one before
// are read here; SQLite runs each when its scan is made. Each statement may take the rows of the
// ones before it to be read first, and each scan must be done with before the next one is made.
//
//     RowScanBatch batch(cn, {"SELECT IdKind, KindName FROM Kind", "SELECT IdDevice FROM DeviceUnit"});
//     for (RowScan rows(batch); rows.next();) ...
//     for (RowScan rows(batch); rows.next();) ...
class RowScanBatch {
public:
    RowScanBatch(const Connection &cn, const QStringList &statements); // PostgreSQL: sends them
    ~RowScanBatch(); // PostgreSQL: the results not taken are read and dropped
    RowScanBatch(const RowScanBatch &) = delete;
    RowScanBatch &operator=(const RowScanBatch &) = delete;

private:
    friend class RowScan;
    const Connection &m_cn;
    QStringList m_statements;
    int m_next = 0;
    void *m_pg = nullptr; // the PostgreSQL connection the statements went to, when sent together
};
