#include "dmChainData.h"

TdmChain *dmChain = nullptr;
