// MPGLIB: the MPEG encoder front. Owns the video encoder, the Layer II encoder
// and the multiplexer, turns one output format into their coding parameters, and
// takes one picture with its sound per call.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/Component.h"
#include "engine/core/ComponentHandle.h"
#include "engine/core/ParallelRows.h"
#include "engine/mpeg/CodingKind.h"
#include "engine/mpeg/IMpegEncoder.h"
#include "engine/mpeg/audio/IMpegAudioEncoder.h"
#include "engine/mpeg/mux/IMpegMultiplexer.h"
#include "engine/mpeg/video/IMpegVideoEncoder.h"

namespace reelcast::mpeg {

// The fixed texts the front reports to its sink.
inline constexpr const char* kMsgChromaFormat = "MPEGEnc: Invalid chroma format (Only 444 or 420 allowed)";
inline constexpr const char* kMsgDimension = "MPEGEnc: Invalid dimension (must be multiple of 16)";
inline constexpr const char* kMsgFrameRate = "MPEGEnc: Invalid frame rate.";
inline constexpr const char* kMsgTooMuchAudio = "MPEGEnc: Too much audio samples.";
inline constexpr const char* kMsgSampleRate = "MPEGEnc: Invalid audio sample rate (32000, 44100 or 48000 Hz only).";
inline constexpr const char* kMsgCreateOutput = "MPEGEnc: Can not create the output file.";
inline constexpr const char* kMsgWriteOutput = "MPEGEnc: Can not write the output file.";

// frame_rate_code of a picture rate (1 to 5), or 0 when MPEG has none close to it.
std::int32_t FrameRateCode(double fps);

// The name of continuation file `counter` of base: clip.mpg, 2 -> clip_02.mpg.
std::string ContinuationName(const std::string& base, std::int32_t counter);

class MpegEncoder final : public core::Component<IMpegEncoder, MpegEncoder> {
public:
    MpegEncoder();
    ~MpegEncoder();

    bool Init() override;
    bool StartNextFile() override;
    double GetMegabytesWritten() override;
    void SetMessageSink(IMpegMessageSink* sink) override;
    bool Open(MpegEncoderParams* params) override;
    bool EncodeFrame(const VideoFrame* frame, const SampleBlock* audio) override;
    void Close() override;

private:
    // Hands the multiplexer the encoders' coded bytes.
    class Source final : public IStreamSource {
    public:
        explicit Source(MpegEncoder* owner) : owner_(owner) {}
        std::int32_t ReadAudio(std::uint8_t* dest, std::int32_t max) override;
        std::int32_t ReadVideo(std::uint8_t* dest, std::int32_t max) override;

    private:
        MpegEncoder* owner_;
    };

    void Report(const char* text);
    void ReleaseComponents();
    // frame_rate_code of an acceptable picture format, or 0 after reporting why not.
    std::int32_t CheckPictureFormat(const MpegEncoderParams& p);
    // Hands a Layer II rate to the audio encoder; false after reporting another rate.
    bool AcceptSampleRate(std::int32_t rate);
    bool IsDvd() const { return formatType_ == static_cast<std::int32_t>(MpegFormat::Dvd); }
    // Points the multiplexer at outputName_ with the current preset.
    void ConfigureMultiplexer();
    bool StartStreams();
    // Reports an output that could not be written, once per file.
    bool CheckOutput();

    core::ComponentHandle<IMpegMultiplexer> mux_;
    core::ComponentHandle<IMpegAudioEncoder> audio_;
    core::ComponentHandle<IMpegVideoEncoder> video_;
    core::ParallelRows beside_;  // the sound's coding beside the picture's
    Source source_;
    IMpegMessageSink* sink_ = nullptr;

    std::string outputName_, baseName_;
    std::int32_t fileCounter_ = 1;
    std::int32_t fileFrames_ = 0;
    std::int64_t totalFrames_ = 0;
    bool audioStarted_ = false;
    bool videoStarted_ = false;
    bool opened_ = false;
    bool outputReported_ = false;

    // The preset of the last Open; the kind survives between encodings.
    CodingKind codingKind_ = CodingKind::Vcd;
    std::int32_t formatType_ = 0;
    double muxRateFactor_ = 1.014;
    std::uint32_t audioBitRateIndex_ = 11;
    double videoBitRate_ = 1150000.0;
    std::int32_t frameRateCode_ = 3;
};

}  // namespace reelcast::mpeg
