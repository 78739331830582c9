// The commands of reelcast-cli. Each returns the process exit code: 0 done,
// 1 failed or refused (the message already printed on stderr), 2 usage error.
#pragma once

#include <cstdio>
#include <string>

#include "cli/CliOptions.h"
#include "cli/Engine.h"

namespace reelcast::cli {

// The refusal to replace an existing output without -y; answers the exit code.
inline int RefuseOverwrite(const std::string& path) {
    std::fprintf(stderr, "reelcast-cli: %s exists (use -y to overwrite)\n", path.c_str());
    return 1;
}

// A part of the engine (a job, the probe) that its library did not create.
inline int Unavailable(const char* what) {
    std::fprintf(stderr, "reelcast-cli: the %s is not available\n", what);
    return 1;
}

int RunInfo(Engine& engine, const std::string& path);
int RunMpegConvert(Engine& engine, const CliOptions& opts);
// "avi" and "divx" modes.
int RunAviConvert(Engine& engine, const CliOptions& opts);
// "mov" and "swf" modes, through the bridge library.
int RunBridgeConvert(const CliOptions& opts);
// Lists the installed video compressors.
int RunCodecs(Engine& engine);

}  // namespace reelcast::cli
