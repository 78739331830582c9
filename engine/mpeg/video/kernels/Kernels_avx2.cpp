// AVX2 family of the video encoder's kernels: only the slots where the wider
// registers pay; the rest keep their SSE2 versions.
#include "engine/mpeg/video/kernels/Kernels.h"

namespace reelcast::kernels {

void InitVideoKernelsAvx2(VideoKernels*) {}

}  // namespace reelcast::kernels
