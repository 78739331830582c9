// The AVI job's callback object.
#pragma once

#include "engine/jobs/IJobCallback.h"

namespace reelcast {

using I_CONVERT_Callback = IJobCallback;

}  // namespace reelcast
