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
class RowScan {
public:
    RowScan(const Connection &cn, const QString &sql); // runs it; throws DatabaseError
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
