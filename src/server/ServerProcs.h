#pragma once

#include "Procedures.h"

// Groups of server procedures, one file each.
void registerLookupProcedures();    // lookups, chains, finds, catalogue maintenance (ProcLookup.cpp)
void registerPlacementProcedures(); // tree, complete set, deletes, moves, clones, bookmarks
                                    // (ProcPlacement.cpp)
void registerViewProcedures();      // model, document, consumable and search grids (ProcViews.cpp)
void registerNetworkProcedures();   // network, users, checklists, versions (ProcNetwork.cpp)

// Helpers shared by the procedure bodies.
namespace Proc {

// A procedure definition in one expression: name, parameters, result columns, body.
void add(const QString &name, QVector<Parameter> params, QVector<ColumnInfo> columns, ProcedureBody body);

inline Parameter in(const char *name, FieldType type, int size = 0) {
    return {QString::fromLatin1(name), type, size, ParamDirection::Input, {}};
}
// An input the procedure cannot do without: a call that leaves it Null is refused with a message.
inline Parameter req(const char *name, FieldType type, int size = 0) {
    return {QString::fromLatin1(name), type, size, ParamDirection::Input, {}, true};
}
inline Parameter inout(const char *name, FieldType type, int size = 0) {
    return {QString::fromLatin1(name), type, size, ParamDirection::InputOutput, {}};
}
inline Parameter out(const char *name, FieldType type, int size = 0) {
    return {QString::fromLatin1(name), type, size, ParamDirection::Output, {}};
}
inline ColumnInfo col(const char *name, FieldType type, int size = 0) {
    return {QString::fromUtf8(name), type, size};
}

// A result with no rows and no columns, for procedures that only act.
inline ResultSet none() {
    return {};
}

// The boolean literal of the engine, for statements that compare bit columns.
inline QString sqlBool(const Connection &cn, bool v) {
    return cn.engine() == Engine::PostgreSQL ? (v ? QStringLiteral("true") : QStringLiteral("false"))
                                             : (v ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace Proc
