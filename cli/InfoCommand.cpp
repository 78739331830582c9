// reelcast-cli info FILE: the probe's information text.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "cli/SourceCause.h"
#include "engine/media/IMediaInfo.h"

namespace reelcast::cli {
namespace {

std::string UnixLines(const char* text) {
    std::string out;
    for (const char* p = text; p && *p; ++p) {
        if (p[0] == '\r' && p[1] == '\n') continue;
        out += *p;
    }
    return out;
}

}  // namespace

int RunInfo(Engine& engine, const std::string& path) {
    auto probe = engine.Make<IMediaInfo>(core::kMediaInfoExport);
    if (!probe) return Unavailable("media probe");
    const bool ok = probe->Open(path.c_str(), false);
    std::string text = UnixLines(probe->GetInfoText());
    probe.reset();
    if (!text.empty() && text.back() != '\n') text += '\n';
    std::fputs(text.c_str(), ok ? stdout : stderr);
    if (ok) return 0;
    const std::string cause = SourceCause(engine, path, false);
    if (!cause.empty()) TellAbout(path, cause);
    return 1;
}

}  // namespace reelcast::cli
