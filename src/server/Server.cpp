#include "Server.h"

#include "Connection.h"
#include "dmTessalData.h"

void InstallServer()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    TdmTessal::prepareDatabase = PrepareDatabase;
}

void PrepareDatabase(Connection &) {}
