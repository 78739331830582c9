// The AVI modes of reelcast-cli (avi, divx, mov, swf) and the compressor list.
#include <cstdio>

#include "cli/Commands.h"

namespace reelcast::cli {

int RunAviConvert(Engine&, const CliOptions&) {
    std::fprintf(stderr, "reelcast-cli: AVI output is not available in this build\n");
    return 1;
}

int RunCodecs(Engine&) {
    std::fprintf(stderr, "reelcast-cli: no video compressors are available in this build\n");
    return 1;
}

}  // namespace reelcast::cli
