// IMpegVideoEncoder (MPGLIB_VIDEO): planar pictures in, an MPEG-1 or MPEG-2
// video elementary stream out. The coded bytes wait in the encoder's 1 MiB output
// buffer until the multiplexer drains them through ReadStream; every coded picture
// is announced to the multiplexer with AddVideoPicture.
//
// Calling order: SetPictureFormat, DetectProcessor, SetCodingMode, Start,
// PutFrame per picture (index 0, 1, 2, ...), Stop; Start may follow Stop.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"
#include "engine/picture/VideoFrame.h"

namespace reelcast {

class IMpegMultiplexer;

class IMpegVideoEncoder : public IEngineComponent {
public:
    // Slot 4. Codes the next picture in coding order from the input queue.
    // False after an output-buffer overflow or a coding failure; the coding
    // buffers are freed then.
    virtual bool EncodeNextPicture() = 0;
    // Slot 5. Writes the sequence end code and frees the coding buffers and the
    // input queue. Pictures still queued are not coded.
    virtual void Stop() = 0;
    // Slot 6. Allocates the buffers and writes the first sequence header.
    virtual bool Start() = 0;
    // Slot 7. chromaFormat 1 = 4:2:0, 3 = 4:4:4; bitRate in bit/s; frameRateCode
    // 1..5; width and height multiples of 16; gopLength 15; totalPictures ends the
    // last group of pictures.
    virtual void SetPictureFormat(std::int32_t chromaFormat, double bitRate,
                                  std::int32_t frameRateCode, std::int32_t width,
                                  std::int32_t height, std::int32_t gopLength,
                                  std::int32_t totalPictures) = 0;
    // Slot 8. The fifteen coding-mode values chosen by the encoder front.
    virtual void SetCodingMode(std::int32_t codingKind,             // 0 MPEG-1, 1 VCD, 2 MPEG-2, 3 SVCD/DVD
                               std::int32_t initialVbvDelay,
                               std::int32_t progressiveSequence,
                               double frameRate,
                               std::int32_t progressiveFrame,
                               std::int32_t intraDcPrecision,       // code: 0 = 8 bits, 1 = 9 bits
                               std::int32_t constantBitRate,
                               std::int32_t mpeg1Syntax,
                               std::int32_t vbvBufferSize,          // units of 16384 bits
                               std::int32_t fixedQuantiserCode,
                               std::int32_t constrainedParameters,
                               std::int32_t aspectRatioInformation,
                               std::int32_t transferCharacteristics,
                               std::int32_t colourPrimaries,
                               std::int32_t videoFormat) = 0;
    // Slot 9. Copies the picture into the input queue; false when 4 are waiting.
    // pictureNumber only serves the error text.
    virtual bool QueueFrame(const VideoFrame* frame, std::int32_t pictureNumber) = 0;
    // Slot 10. Processor feature flags (1, 2, 4, 16, 32 MMX, 64 cmov, ...).
    virtual std::int32_t DetectProcessor() = 0;
    // Slot 11. Queues the picture; codes the waiting pictures at index 0 and at
    // every index that is a multiple of 3, storing the coding result in *ok.
    // False only when the picture could not be queued.
    virtual bool PutFrame(const VideoFrame* frame, bool* ok, std::int32_t index) = 0;
    // Slot 12. Moves up to maximum coded bytes to destination; answers the count.
    virtual std::int32_t ReadStream(std::uint8_t* destination, std::int32_t maximum) = 0;
    // Slot 13. Frees the output buffer.
    virtual void FreeStream() = 0;
    // Slot 14. The multiplexer that is told about each coded picture (not owned).
    virtual void SetMultiplexer(IMpegMultiplexer* mux) = 0;

protected:
    ~IMpegVideoEncoder() = default;
};

}  // namespace reelcast
