#include "server/Server.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "data/TessalSystem.h"
#include "data/dmTessalData.h"
#include "server/BasicCatalogue.h"
#include "server/Journal.h"
#include "server/Schema.h"

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
