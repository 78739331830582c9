// OMBRIXDLL: the bare component, with only the four common operations.
#pragma once

#include "engine/core/IEngineComponent.h"

namespace reelcast {
using IOmbrixDll = IEngineComponent;
}
