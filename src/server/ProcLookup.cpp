#include "ServerProcs.h"

void registerLookupProcedures() {}
