#include "AviCheckers.h"

#include <cstring>
#include <string>

#include "AviTestSupport.h"

namespace {

void CopyOut(const std::string& text, char* out, std::size_t size) {
    if (!out || size == 0) return;
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace

extern "C" {

int avitest_run(const char* command, char* out, size_t size) {
    int status = 0;
    CopyOut(avitest::Run(command ? command : "", &status), out, size);
    return status;
}

int avitest_have_tool(const char* name) { return avitest::HaveTool(name) ? 1 : 0; }

int avitest_file_exists(const char* path) { return path && avitest::FileExists(path) ? 1 : 0; }

void avitest_probe_stream(const char* path, const char* sel, char* out, size_t size) {
    std::string text;
    for (const auto& [key, value] : avitest::ProbeStream(path, sel)) text += key + "=" + value + "\n";
    CopyOut(text, out, size);
}

void avitest_field(const char* description, const char* key, char* out, size_t size) {
    const std::string text = description ? description : "";
    const std::string wanted = std::string("\n") + key + "=";
    const std::size_t at = ("\n" + text).find(wanted);
    if (at == std::string::npos) {
        CopyOut("", out, size);
        return;
    }
    const std::size_t begin = at + wanted.size() - 1;
    CopyOut(text.substr(begin, text.find('\n', begin) - begin), out, size);
}

int avitest_stream_count(const char* path) { return static_cast<int>(avitest::ProbeStreams(path).size()); }

int avitest_decoded_video_frames(const char* path) { return avitest::DecodedVideoFrames(path); }

int avitest_decodes_cleanly(const char* path, char* errors, size_t size) {
    std::string text;
    const bool clean = avitest::DecodesCleanly(path, &text);
    CopyOut(text, errors, size);
    return clean ? 1 : 0;
}

double avitest_decoded_audio_seconds(const char* path, int rate) {
    return avitest::DecodedAudioSeconds(path, rate, 2);
}

double avitest_first_picture_seconds(const char* path) { return avitest::FirstPictureSeconds(path); }

}  // extern "C"
