#include "Server.h"

#include "BasicCatalogue.h"
#include "Connection.h"
#include "Errors.h"
#include "Journal.h"
#include "Procedures.h"
#include "Schema.h"
#include "TessalSystem.h"
#include "dmTessalData.h"

void InstallServer() {
    static bool done = false;
    if (done)
        return;
    done = true;
    KeepFreedMemoryForReuse();
    Schema::describe();
    registerProcedures();
    TdmTessal::prepareDatabase = PrepareDatabase;
}

void PrepareDatabase(Connection &cn) {
    Journal::NamePerson(cn);
    if (Schema::prepare(cn))
        CreateBasicCatalogue(cn);
    // Keeping the journal bounded never stops a start.
    try {
        Journal::PurgeIfDue(cn);
    } catch (const AppError &) {
    }
}
