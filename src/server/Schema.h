#pragma once

#include "data/Connection.h"

// The database's tables, their description for the data layer, and the steps that create and
// upgrade them. Version 1 holds the inventory, users and the server's own tables; version 2 adds
// the search texts with their index; version 3 folds the search texts (case and "ё" do not
// count, on any engine and locale) and adds the indexed find texts of departments, workplaces
// and devices; version 4 holds SQLite's values to PostgreSQL's types and refuses department
// cycles on both engines; version 5 keeps blocked accounts per domain and a bind account per
// domain controller; version 6 refuses dates written as numbers on SQLite; version 7 keeps program
// images in parts; version 8 gives each domain account one user; version 9 lets every SQLite client
// write the file (no program function in its triggers); version 10 adds the change journal its
// triggers keep (JournalSchema.h); version 11 keeps stocktaking counts and their scanned codes;
// version 12 gives each kind of find text its own trigram index (SchemaFindIndex.h); version 13
// replaces the journal's triggers with cheaper ones writing the same entries; version 14 lists the
// keys of missing owners of workplaces and devices (SchemaMissingOwner.h); version 15 lists the
// departments that hold workplaces (SchemaWorkplaceOwner.h).
namespace Schema {

constexpr int CurrentVersion = 15;

// Registers every table and view with SchemaInfo (spelling, types, widths, keys).
void describe();

// The version of an open database: 0 when it holds no tables at all. Throws SchemaVersionError
// for a damaged database (a version that is not a small positive integer, tables without a
// version).
int version(Connection &cn);

// Throws SchemaVersionError, reading only, when the database is damaged or of a newer program.
void check(Connection &cn);

// Creates the newest schema in an empty database, or upgrades an older one step by step, each
// step in its own transaction with the version written last. A database of a newer program or a
// damaged one is refused (SchemaVersionError) before anything is written. True when this call
// created the database (of several workstations starting on one new database, exactly one).
bool prepare(Connection &cn);

// Brings a database up to `target` only (tests build older databases with it).
void upgradeTo(Connection &cn, int target);

// For a bulk load of the program's own, inside its transaction: on SQLite the triggers that fold
// the search and find texts call the program's fold_text (many times faster) until restore(),
// which the load calls before it commits; so no other client ever sees them. A load that fails
// rolls them back with everything else. Nothing happens on PostgreSQL.
class ProgramFoldForLoad {
public:
    explicit ProgramFoldForLoad(Connection &cn);
    void restore();

private:
    Connection &m_cn;
    QList<std::pair<QString, QString>> m_triggers; // name, stored statement
};

} // namespace Schema
