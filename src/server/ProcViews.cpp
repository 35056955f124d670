#include "ServerProcs.h"

void registerViewProcedures() {}
