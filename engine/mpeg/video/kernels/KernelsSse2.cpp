// SSE2 family of the video encoder's kernels (every x86-64 has SSE2).
#include "engine/mpeg/video/kernels/Kernels.h"

namespace reelcast::kernels {

void InitVideoKernelsSse2(VideoKernels*) {}

}  // namespace reelcast::kernels
