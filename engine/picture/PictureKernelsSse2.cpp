// SSE2 family of the picture kernels.
#include "engine/picture/PictureKernels.h"

namespace reelcast::picture {

void InitPictureKernelsSse2(PictureKernels*) {}

}  // namespace reelcast::picture
