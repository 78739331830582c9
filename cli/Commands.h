// The commands of reelcast-cli. Each returns the process exit code: 0 done,
// 1 failed or refused (the message already printed on stderr), 2 usage error.
#pragma once

#include "cli/CliOptions.h"
#include "cli/Engine.h"

namespace reelcast::cli {

int RunInfo(Engine& engine, const std::string& path);
int RunMpegConvert(Engine& engine, const CliOptions& opts);
// "avi" and "divx" modes.
int RunAviConvert(Engine& engine, const CliOptions& opts);
// "mov" and "swf" modes, through the bridge library.
int RunBridgeConvert(const CliOptions& opts);
// Lists the installed video compressors.
int RunCodecs(Engine& engine);

}  // namespace reelcast::cli
