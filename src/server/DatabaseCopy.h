#pragma once

#include "data/Connection.h"

#include <functional>

// A whole database copied into an empty one, on either engine: SQLite to PostgreSQL (the move to
// a shared server), PostgreSQL to SQLite (a server's backup in a file), and any other pairing.
//
// The tables, their columns, keys and references come from the engines' own catalogues, so a
// table a later schema step adds is copied without a word here. The target is given the current
// schema first (a target without tables) and then, in one transaction, every table's rows with
// their keys, in the order of the references (a table's parents first, a department's higher
// department before it). The database's triggers are off for that transaction: the rows arrive as
// the source holds them, counters, derived texts and the change journal included, and the load
// writes no journal entries of its own. Identities continue after the highest key the source has
// ever given (SQLite's AUTOINCREMENT table, PostgreSQL's sequences). Each table's row count in the
// target is checked against the source's before the transaction commits.
//
// The source is read in one consistent snapshot while other workstations go on writing.
namespace DatabaseCopy {

struct TableCount {
    QString table;
    qint64 source = 0; // rows in the source
    qint64 target = 0; // rows the target holds after the copy
};

struct Progress {
    QString table;
    int tableNumber = 0; // from 1
    int tableCount = 0;
    qint64 rows = 0;  // rows of this table copied so far
    qint64 total = 0; // rows of this table in the source
};
using ProgressFn = std::function<void(const Progress &)>;

// Copies `source` (at the program's schema version) into `target`. Throws AppError when the
// target holds data (rows beyond those a new database is created with), is the source itself, is
// damaged or of a newer program, or when a count does not match; nothing of the rows is left in
// the target then (a target that had no tables keeps the empty schema).
QVector<TableCount> copy(Connection &source, Connection &target, const ProgressFn &progress = {});

// The row counts of every table of a database, as copy reports them (the program's spelling of a
// name where it knows the table).
QVector<TableCount> countRows(Connection &cn);

// For the benchmark: the same load as copy(), but each table is read whole into memory before it
// is written, and only the writing is timed (nanoseconds), so that the copy can be measured
// against a bare bulk load of the same rows into the same kind of target.
qint64 timedBareLoad(Connection &source, Connection &target);

} // namespace DatabaseCopy
