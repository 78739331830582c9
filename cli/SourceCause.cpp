#include "cli/SourceCause.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/media/IMediaInfo.h"
#include "engine/media/MediaText.h"

namespace reelcast::cli {
namespace {

// The file itself: there, a file, not empty, readable.
std::string FileCause(const std::string& input) {
    struct stat st;
    if (::stat(input.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return "the file does not exist";
        return std::string("the file cannot be reached: ") + std::strerror(errno);
    }
    if (S_ISDIR(st.st_mode)) return "this is a folder, not a file";
    if (!S_ISREG(st.st_mode)) return "this is not a regular file";
    if (st.st_size == 0) return "the file is empty";
    if (::access(input.c_str(), R_OK) != 0) return "the file is not readable";
    return {};
}

// What the probe makes of the streams.
std::string StreamCause(const Engine& engine, const std::string& input, bool needsSound) {
    auto probe = engine.Make<IMediaInfo>(core::kMediaInfoExport);
    if (!probe) return {};
    const bool ok = probe->Open(input.c_str(), false);
    VideoStreamInfo video{};
    AudioStreamInfo audio{};
    probe->GetVideoInfo(&video);
    probe->GetAudioInfo(&audio);
    const std::string text = probe->GetInfoText();
    if (!ok) return "the file is damaged, or of a kind this program cannot read";
    if (!video.present) return "the file has no picture stream";
    if (needsSound && !audio.present)
        return "the file has no sound stream: VCD, SVCD, DVD, MPEG-1 and MPEG-2 files need both pictures and sound";
    if (text.find(media::kDamagedHeaderMark) != std::string::npos ||
        text.find(media::kNotBelievableMark) != std::string::npos)
        return "the stream header's values are impossible (reelcast-cli info shows them)";
    return {};
}

}  // namespace

std::string SourceCause(const Engine& engine, const std::string& input, bool needsSound) {
    std::string cause = FileCause(input);
    if (cause.empty()) cause = StreamCause(engine, input, needsSound);
    return cause;
}

void TellAbout(const std::string& input, const std::string& text) {
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        if (end > from) std::fprintf(stderr, "reelcast-cli: %s: %.*s\n", input.c_str(), int(end - from), text.c_str() + from);
        from = end + 1;
    }
}

void TellFailure(const Engine& engine, const std::string& input, const std::string& text, bool needsSound) {
    TellAbout(input, text);
    const std::string cause = SourceCause(engine, input, needsSound);
    if (!cause.empty()) TellAbout(input, cause);
}

}  // namespace reelcast::cli
