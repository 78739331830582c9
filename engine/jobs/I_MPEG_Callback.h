// The MPEG job's callback object.
#pragma once

#include "engine/jobs/IJobCallback.h"

namespace reelcast {

using I_MPEG_Callback = IJobCallback;

}  // namespace reelcast
