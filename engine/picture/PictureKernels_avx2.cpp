// AVX2 family of the picture kernels.
#include "engine/picture/PictureKernels.h"

namespace reelcast::picture {

void InitPictureKernelsAvx2(PictureKernels*) {}

}  // namespace reelcast::picture
