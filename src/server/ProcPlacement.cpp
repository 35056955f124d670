#include "ServerProcs.h"

void registerPlacementProcedures() {}
