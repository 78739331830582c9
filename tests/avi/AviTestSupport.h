// Shared helpers of the AVI tests: temporary folders, running the independent
// checkers (ffmpeg, ffprobe) and reading an AVI's RIFF structure back.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace avitest {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool HaveTool(const char* name);

// Skips the calling test when FFmpeg's tools are not installed.
#define REQUIRE_FFMPEG()                                                        \
    if (!avitest::HaveTool("ffmpeg") || !avitest::HaveTool("ffprobe"))          \
    GTEST_SKIP() << "ffmpeg/ffprobe not installed"

// Runs a shell command; its standard output, and the exit status in *status.
std::string Run(const std::string& command, int* status = nullptr);
std::string Quote(const std::string& s);
bool FileExists(const std::string& path);
std::uint64_t FileSize(const std::string& path);

// ffprobe's key=value entries of each stream.
std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& path);
// The entries of one stream, chosen by an ffprobe stream selector ("v:0", "a:0");
// empty when there is none.
std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& selector);
// Decodes every stream with ffmpeg, failing on any error; true when clean.
bool DecodesCleanly(const std::string& path, std::string* errors = nullptr);
// Decoded audio duration in seconds (ffmpeg to 16-bit PCM at the stream's rate).
double DecodedAudioSeconds(const std::string& path, int sampleRate, int channels);
// Decoded video frames.
int DecodedVideoFrames(const std::string& path);
// Where the first picture lies on the file's time line, in seconds (the video
// stream's start): the sound ends with the pictures at this plus their length.
double FirstPictureSeconds(const std::string& path);

struct AviStream {
    std::string fccType, fccHandler;
    std::uint32_t scale = 0, rate = 0, length = 0, sampleSize = 0, suggestedBuffer = 0;
    std::vector<std::uint8_t> format;
    std::string name;
    std::uint32_t superIndexEntries = 0;
    std::uint32_t start = 0;        // strh dwStart
    std::uint32_t frameAspect = 0;  // 'vprp' dwFrameAspectRatio; 0 without one
};
struct AviLayout {
    bool ok = false;
    std::string error;
    std::vector<std::string> riffForms;  // "AVI ", "AVIX", ...
    std::uint32_t avihTotalFrames = 0;
    std::uint32_t avihMicroSecPerFrame = 0;
    std::uint32_t dmlhTotalFrames = 0;
    std::uint32_t idx1Entries = 0;
    std::vector<AviStream> streams;
};
// Walks the whole file: every RIFF and LIST size must fit the file exactly.
AviLayout ReadAviLayout(const std::string& path);

// Picture n of a moving test pattern: bottom-up BGR rows padded to 4 bytes, as
// a 24-bit DIB holds them.
std::vector<std::uint8_t> TestPicture(int w, int h, int n);

// A source made by ffmpeg's lavfi generators (testsrc2 pictures, a sine tone).
bool MakeSource(const std::string& path, int width, int height, double fps, double seconds,
                int sampleRate, const std::string& videoCodec = "mpeg4");

// Luma PSNR (dB) of the decoded pictures of `out` against those of `src` scaled
// to out's size; 0 when it cannot be measured.
double LumaPsnrAgainstSource(const std::string& out, const std::string& src, int width, int height);

}  // namespace avitest
