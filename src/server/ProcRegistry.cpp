#include "Server.h"

#include "Journal.h"
#include "ServerProcs.h"

void registerProcedures() {
    registerLookupProcedures();
    registerPlacementProcedures();
    registerViewProcedures();
    registerNetworkProcedures();
    Journal::RegisterProcedures();
}

namespace Proc {

void add(const QString &name, QVector<Parameter> params, QVector<ColumnInfo> columns, ProcedureBody body) {
    ProcedureCatalogue::instance().add({name, std::move(params), std::move(columns), std::move(body)});
}

} // namespace Proc
