// The AVI job's callback object.
#pragma once

#include "engine/jobs/IJobCallback.h"

namespace reelcast {

class IAviConversionJob;
using I_CONVERT_Callback = IJobCallback<IAviConversionJob>;

}  // namespace reelcast
