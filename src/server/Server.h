#pragma once

class Connection;

// Registers the tables and procedures of the database with the data layer. Called once at start.
void InstallServer();

// Brings an open database to the current schema: creates it in an empty database, upgrades an
// older one step by step. Refuses a database of a newer program. A database created here gets the
// basic catalogue (BasicCatalogue.h); one that existed keeps the catalogue it has.
void PrepareDatabase(Connection &cn);

// Each group of server procedures registers itself with the catalogue (one file per group).
void registerProcedures();
