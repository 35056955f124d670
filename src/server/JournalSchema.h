#pragma once

#include "data/Connection.h"

// The change journal the database keeps by itself: every insert, update and delete of the tables
// people edit leaves one row in Journal, whoever writes (the program, velmora-db or any other
// client). Fields holds JSON: for an addition or a deletion the row's fields and values, for a
// change each changed field with [old, new]; a secret field (a password) with null instead.
namespace JournalSchema {

// The tables the journal follows, with the column that names the object holding a row (none
// for a table whose rows stand alone).
struct Followed {
    const char *table;
    const char *owner; // nullptr: no holder
};
const QVector<Followed> &followedTables();

// Columns never journalled: the key, the row version, values the database derives, results of
// measurements.
bool isFollowedColumn(const QString &table, const ColumnInfo &column);
bool isSecretColumn(const QString &table, const QString &column);

// Creates Journal, its settings and, on SQLite, the one-row person table, with the indexes and
// the triggers of every followed table.
void create(Connection &cn);

// Replaces the triggers of every followed table (and their functions on PostgreSQL) with the
// ones create() makes; entries already written stay as they are.
void replaceTriggers(Connection &cn);

// Registers Journal and JournalSetting with SchemaInfo.
void describe();

} // namespace JournalSchema
