// Helpers for the video encoder tests and benchmarks: a multiplexer stand-in
// that records what the encoder announces, raw pictures made by ffmpeg, a run
// of the encoder through its table, independent decoders, a start-code level
// parser of our streams, and picture quality measures.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/mpeg/video/IMpegVideoEncoder.h"
#include "tests/mpeg_mux/NullMultiplexer.h"

namespace reelcast::testing {

// Records every AddVideoPicture; answers true everywhere.
class RecordingMux final : public NullMultiplexer {
public:
    struct Picture {
        int codingIndex;
        int displayIndex;
        double frameRate;
        std::uint32_t length;
        std::uint32_t type;
    };
    std::vector<Picture> pictures;

    bool AddVideoPicture(std::int32_t codingIndex, std::int32_t displayIndex, double frameRate, double, double,
                         VideoUnit* unit) override {
        pictures.push_back({codingIndex, displayIndex, frameRate, unit ? unit->length : 0u,
                            unit ? unit->pictureType : 0u});
        return answer;
    }
    bool answer = true;
};

// Planar 4:2:0 pictures of one size.
struct YuvClip {
    int width = 0;
    int height = 0;
    std::vector<std::vector<std::uint8_t>> frames;  // each w*h*3/2
    std::size_t FrameSize() const { return static_cast<std::size_t>(width) * height * 3 / 2; }
};

std::string TempDir();
bool RunCommand(const std::string& cmd, std::string* output = nullptr);
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::string& path);
YuvClip ReadYuv(const std::string& path, int width, int height);

// ffmpeg lavfi source (e.g. "testsrc2") or a media file, scaled to w x h, n pictures.
YuvClip MakeLavfiClip(const std::string& source, int width, int height, double fps, int n);
YuvClip MakeFileClip(const std::string& path, int width, int height, double fps, int n, int skip = 0);
std::string MediaFile();  // the real footage, or "" when absent

// How to drive the encoder: the values the encoder front would hand it.
struct EncodeSettings {
    int kind = 0;            // 0 MPEG-1, 1 VCD, 2 MPEG-2, 3 SVCD/DVD
    double bitRate = 1150000.0;
    bool cbr = true;
    double frameRate = 25.0;
    int frameRateCode = 3;
    int totalPictures = -1;  // -1: picture count
    bool forcePortable = false;
};

struct EncodeResult {
    bool ok = false;
    std::vector<std::uint8_t> stream;
    std::vector<RecordingMux::Picture> pictures;
    std::map<int, std::vector<std::uint8_t>> reconstruction;  // by display number, w*h*3/2
    int vbvOverflows = 0;
    int vbvUnderflows = 0;
};

EncodeResult Encode(const YuvClip& clip, const EncodeSettings& es, bool keepReconstruction = false);

// Decoders we did not write. Each answers false on any complaint.
bool DecodeWithFfmpeg(const std::string& file, int width, int height, YuvClip* out, std::string* log);
// The same for a stream in memory, written for the decode to TempDir()/name and
// removed again.
bool DecodeStreamWithFfmpeg(const std::vector<std::uint8_t>& stream, const std::string& name, int width,
                            int height, YuvClip* out, std::string* log);
bool DecodeWithMpeg2dec(const std::string& file, int width, int height, YuvClip* out, std::string* log);

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::size_t n);
double ClipPsnr(const YuvClip& a, const YuvClip& b);  // luma and chroma together, whole clip

// Start-code level view of an elementary stream.
struct StartCodeUnit {
    std::uint32_t code;
    std::size_t offset;  // of the first byte after the 4-byte start code
};
std::vector<StartCodeUnit> FindStartCodes(const std::vector<std::uint8_t>& s);

class BitReader {
public:
    BitReader(const std::vector<std::uint8_t>& s, std::size_t byteOffset) : s_(s), pos_(byteOffset * 8) {}
    std::uint32_t Get(int n);
private:
    const std::vector<std::uint8_t>& s_;
    std::size_t pos_;
};

struct ParsedPicture {
    int temporalReference;
    int type;
    int vbvDelay;
    int forwardFCode;   // picture header values
    int backwardFCode;
    int fCode[4] = {0, 0, 0, 0};  // picture coding extension (MPEG-2)
    bool afterGroup = false;
    bool afterSequence = false;
    std::uint32_t timeCode = 0;
    bool closedGop = false;
};
std::vector<ParsedPicture> ParsePictures(const std::vector<std::uint8_t>& s);

}  // namespace reelcast::testing
