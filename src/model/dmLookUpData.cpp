#include "dmLookUpData.h"

TdmLookUp *dmLookUp = nullptr;
