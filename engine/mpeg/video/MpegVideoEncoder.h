// MPGLIB_VIDEO: the picture loop of the MPEG-1 / MPEG-2 video encoder. Holds
// the input queue and the reordering into coding order, the group structure,
// the headers above the slices and the announcements to the multiplexer; the
// macroblock layer, motion search and rate control are units of their own.
//
// Everything runs on the thread that drives the encoder front, except that the
// motion search and transform of a picture are shared by macroblock rows with
// the helpers of the row team, which wait between pictures.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/Component.h"
#include "engine/core/ParallelRows.h"
#include "engine/mpeg/BitWriter.h"
#include "engine/mpeg/video/CodingTypes.h"
#include "engine/mpeg/video/GopStructure.h"
#include "engine/mpeg/video/IMpegVideoEncoder.h"
#include "engine/mpeg/video/MacroblockCoder.h"
#include "engine/mpeg/video/MotionSearch.h"
#include "engine/mpeg/video/RateControl.h"
#include "engine/mpeg/video/kernels/Kernels.h"

namespace reelcast::mpeg::video {

// Counters a test or diagnostic can read from the concrete encoder.
struct EncoderStats {
    int picturesCoded = 0;
    VbvCounts vbv;
    std::uint64_t bitsWritten = 0;
};

class MpegVideoEncoder final : public core::Component<IMpegVideoEncoder, MpegVideoEncoder> {
public:
    MpegVideoEncoder();
    ~MpegVideoEncoder();

    bool Init() override;
    bool EncodeNextPicture() override;
    void Stop() override;
    bool Start() override;
    void SetPictureFormat(std::int32_t chromaFormat, double bitRate, std::int32_t frameRateCode,
                          std::int32_t width, std::int32_t height, std::int32_t gopLength,
                          std::int32_t totalPictures) override;
    void SetCodingMode(std::int32_t codingKind, std::int32_t initialVbvDelay,
                       std::int32_t progressiveSequence, double frameRate, std::int32_t progressiveFrame,
                       std::int32_t intraDcPrecision, std::int32_t constantBitRate,
                       std::int32_t mpeg1Syntax, std::int32_t vbvBufferSize,
                       std::int32_t fixedQuantiserCode, std::int32_t constrainedParameters,
                       std::int32_t aspectRatioInformation, std::int32_t transferCharacteristics,
                       std::int32_t colourPrimaries, std::int32_t videoFormat) override;
    bool QueueFrame(const VideoFrame* frame, std::int32_t pictureNumber) override;
    std::int32_t DetectProcessor() override;
    bool PutFrame(const VideoFrame* frame, bool* ok, std::int32_t index) override;
    std::int32_t ReadStream(std::uint8_t* destination, std::int32_t maximum) override;
    void FreeStream() override;
    void SetMultiplexer(IMpegMultiplexer* mux) override;

    // Not part of the table.
    EncoderStats Stats() const;
    const SequenceSettings& Settings() const { return settings_; }
    const Geometry& CodedGeometry() const { return geo_; }
    // Called after each picture is coded with its display number and its
    // reconstruction (what a decoder shows); for tests and diagnostics. Set it
    // before Start: B pictures are reconstructed only for an observer.
    using ReconstructionObserver = std::function<void(int displayNumber, const PictureStore& rec,
                                                      const Geometry& geo)>;
    void SetReconstructionObserver(ReconstructionObserver observer) { observer_ = std::move(observer); }

private:
    bool AllocateCoding();
    void FreeCoding();
    // Queued pictures are 4:2:0 of the coded size: they can be coded in place.
    bool QueueHasCodedLayout() const;
    // Reads queued picture displayNumber into *dst, padded to the coded size;
    // with `borrow` and the coded layout, points *dst at the queue slot instead.
    bool FetchPicture(int displayNumber, PictureStore* dst, bool borrow);
    void FlushPendingBytes();
    int FixedQuantiser() const;
    // The steps of EncodeNextPicture.
    PictureRefs TakeStores(int pictureType);
    void BeginGroup(int groupStart, int n, bool cbr);
    void AnalysePicture(int pictureType, const PictureRefs& refs, bool cbr);
    bool WritePicture(const CodedPicture& cp, const PictureRefs& refs, bool cbr);
    bool HandOverPicture(const CodedPicture& cp, const PictureStore& rec);

    SequenceSettings settings_;
    Geometry geo_;
    IMpegMultiplexer* mux_ = nullptr;
    double timeValue_ = 0.03336666666666667;  // 1 / 29.97 s, handed to the multiplexer

    // Output buffer and its writer.
    std::unique_ptr<std::uint8_t[]> output_;
    BitWriter bw_;

    // Input queue.
    static constexpr int kQueueSlots = 4;
    std::vector<std::uint8_t> slots_[kQueueSlots];
    bool slotFilled_[kQueueSlots] = {};
    int queueCount_ = 0;
    int inputChromaWidth_ = 0;
    int inputChromaHeight_ = 0;

    // Picture stores (one allocation): reference sources and reconstructions
    // (index 0 old, 1 new), the prediction, and where needed the B picture's
    // source and reconstruction.
    std::vector<std::uint8_t> storeMemory_;
    PictureStore refSrc_[2];
    PictureStore rec_[2];
    PictureStore auxSrc_;
    PictureStore auxRec_;
    PictureStore pred_;
    std::vector<std::uint8_t> chromaTemp_;  // 4:4:4 input: the half-width chroma plane
    std::vector<MacroblockInfo> mbInfo_;
    std::vector<std::int16_t> coeffs_;  // transformed, then quantised in place for the reconstruction

    kernels::VideoKernels kernels_{};
    MotionSearch motion_;
    // Shares each picture's macroblock rows out; started per stream with the
    // conversion's thread count.
    core::ParallelRows team_;
    MacroblockCoder coder_;
    RateControl rc_;

    bool started_ = false;
    int codingIndex_ = 0;
    std::int64_t pictureStart_ = 0;  // byte position of the current picture's first header
    bool headersWritten_ = false;
    int fCode_[4] = {15, 15, 15, 15};
    std::int32_t cpuFeatures_ = 0;
    int kernelFamily_ = 1;
    int picturesCoded_ = 0;
    ReconstructionObserver observer_;
};

}  // namespace reelcast::mpeg::video
