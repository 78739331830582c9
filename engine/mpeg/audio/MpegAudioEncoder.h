// MPGLIB_AUDIO: the MPEG-1 Layer II encoder (stereo, psychoacoustic model 2).
//
// Everything the encoder keeps between calls lives in this object: the pending
// samples, the coded-byte buffer with its bit writer, the filterbank and model
// histories. Only one instance should be streaming at a time in a process, as
// the multiplexer and front expect a single audio stream.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/Component.h"
#include "engine/mpeg/mux/TimeBase.h"
#include "engine/mpeg/BitWriter.h"
#include "engine/mpeg/audio/AnalysisFilterbank.h"
#include "engine/mpeg/audio/IMpegAudioEncoder.h"
#include "engine/mpeg/audio/Layer2Tables.h"
#include "engine/mpeg/audio/PsychoModel2.h"
#include "platform/NonCopyable.h"

namespace reelcast::mpeg {

class MpegAudioEncoder final : public core::Component<IMpegAudioEncoder, MpegAudioEncoder>, NonCopyable {
public:
    static constexpr std::int32_t kFrameSamples = 2304;        // 1152 left/right pairs
    static constexpr std::int32_t kMaxPendingSamples = 100000;
    // Samples by which a decoder's output trails the encoder's input: the delay
    // of the analysis and synthesis filter banks together (512 taps less 31).
    static constexpr std::int32_t kFilterBankDelay = 481;

    MpegAudioEncoder();
    ~MpegAudioEncoder();

    bool Init() override;
    void SetMultiplexer(IMpegMultiplexer* mux) override;
    bool EncodeAudioFrame() override;
    bool Start() override;
    void Stop() override;
    void SetSampleRate(std::uint32_t hz) override;
    std::int32_t ReadStream(std::uint8_t* dst, std::int32_t max) override;
    void FreeStream() override;
    void SetParameters(std::uint32_t bitrateIndex, double videoFrameRate) override;
    bool PutSamples(const SampleBlock* block, bool* keepGoing) override;

    // Inspection (tests, diagnostics).
    int allocTableNumber() const { return tableNumber_; }
    int sblimit() const { return sblimit_; }
    std::int32_t pendingSamples() const { return fifoPending_; }
    std::int32_t framesCoded() const { return frameCounter_; }
    std::int32_t fifoCapacityBytes() const { return fifoCapacityBytes_; }

private:
    mux::Ticks FrameTime() const;  // presentation time of the frame about to be coded
    void ChooseAllocTable();
    void CodeFrame(int budgetBits);
    void ComputeScaleFactors();
    void ChooseScfsi();
    int AllocateBits(int availableBits);
    void WriteFrame(int budgetBits);

    // Multiplexer link (not owned).
    IMpegMultiplexer* mux_ = nullptr;
    // Parameters.
    std::int32_t bitrateIndex_ = 0;
    double videoFrameRate_ = 0.0;
    std::int32_t sampleRate_ = 44100;
    // Header values of the running stream.
    int samplingCode_ = 0;
    int padding_ = 0;
    // Frame parameters.
    int tableNumber_ = -1;
    const audio::AllocTable* table_ = nullptr;
    int sblimit_ = 0;
    // Framing.
    std::int32_t wholeSlots_ = 0;
    double fracSlots_ = 0.0;
    double slotLag_ = 0.0;
    std::int32_t frameCounter_ = 0;
    std::int32_t lastFrameBits_ = 0;
    double bitsBeforeFrame_ = 0.0;
    bool started_ = false;
    // Pending samples.
    std::unique_ptr<std::int16_t[]> fifo_;
    std::int32_t fifoCursor_ = 0;  // index of the first pending sample
    std::int32_t fifoPending_ = 0;
    std::int32_t fifoCapacityBytes_ = 0;
    // Coded bytes: the writer stores into output_.
    std::unique_ptr<std::uint8_t[]> output_;
    BitWriter writer_;

    // Working storage of one frame.
    alignas(32) float pcm_[2][1152];      // 16-bit scale, for the model
    alignas(32) float scaled_[1152];      // +-1 scale, for the filterbank
    alignas(32) float sb_[2][36][32];     // subband samples, 3 parts of 12 blocks
    int scf_[2][3][32];
    int scfsi_[2][32];
    int alloc_[2][32];
    float smr_[2][32];
    audio::AnalysisFilterbank filterbank_;
    audio::PsychoModel2 psycho_;
};

}  // namespace reelcast::mpeg
