#include "ServerProcs.h"

void registerNetworkProcedures() {}
