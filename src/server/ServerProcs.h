#pragma once

#include "data/Procedures.h"

// Groups of server procedures, one file each.
void registerLookupProcedures();      // lookup lists and model names (ProcLookup.cpp)
void registerChainProcedures();       // what a record belongs to (ProcChains.cpp)
void registerFindProcedures();        // finds by text (ProcFind.cpp)
void registerOrderProcedures();       // the manual order of kinds and models (ProcOrder.cpp)
void registerElementMoveProcedures(); // an element's move history (ProcElementMoves.cpp)
void registerTreeProcedures();        // the placement tree and a device's complete set (ProcTree.cpp)
void registerNodeProcedures();        // deleting, moving and cloning tree nodes (ProcNodes.cpp)
void registerBookmarkProcedures();    // bookmarks of the operating-system user (ProcBookmarks.cpp)
void registerViewProcedures();        // model, document, consumable and search grids (ProcViews.cpp)
void registerNetworkProcedures();     // network, users, checklists, versions (ProcNetwork.cpp)
void registerOverviewProcedures();    // the overview's charts and the rows behind them (ProcOverview.cpp)
void registerStocktakeProcedures();   // stocktaking counts and their scans (ProcStocktake.cpp)

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

// A result with exactly the declared columns: every value converted to its column's type and
// every text cut to its column's width (the grids hold no more than that).
ResultSet shaped(const QVector<ColumnInfo> &columns, std::vector<QVector<QVariant>> rows);

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
