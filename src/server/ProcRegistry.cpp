#include "server/Server.h"

#include "server/Journal.h"
#include "server/ServerProcs.h"

void registerProcedures() {
    registerLookupProcedures();
    registerChainProcedures();
    registerFindProcedures();
    registerOrderProcedures();
    registerElementMoveProcedures();
    registerTreeProcedures();
    registerNodeProcedures();
    registerBookmarkProcedures();
    registerViewProcedures();
    registerNetworkProcedures();
    registerOverviewProcedures();
    registerStocktakeProcedures();
    Journal::RegisterProcedures();
}

namespace Proc {

void add(const QString &name, QVector<Parameter> params, QVector<ColumnInfo> columns, ProcedureBody body) {
    ProcedureCatalogue::instance().add({name, std::move(params), std::move(columns), std::move(body)});
}

} // namespace Proc
