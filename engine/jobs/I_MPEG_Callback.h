// The MPEG job's callback object.
#pragma once

#include "engine/jobs/IJobCallback.h"

namespace reelcast {

class IMpegConversionJob;
using I_MPEG_Callback = IJobCallback<IMpegConversionJob>;

}  // namespace reelcast
