// The reading end of an MPEG conversion: for each output picture, read the
// decoded bitmap, paint it into the preview, convert it to planar YCbCr (and
// scale it to the output size) and take the sound that belongs to it. Run
// directly on the job's worker, or ahead of it on a thread of its own with a
// bounded queue of finished pictures, so that reading and decoding overlap the
// encoder. Either way the pictures and sound handed on are the same, in the
// same order.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/media/IAudioStreamConverter.h"
#include "engine/media/IVideoFrameSource.h"
#include "engine/jobs/ReadAhead.h"
#include "engine/media/SampleBlock.h"
#include "engine/picture/IYuvUtil.h"
#include "engine/picture/VideoFrame.h"
#include "platform/NonCopyable.h"

namespace reelcast::jobs {

// A planar 4:2:0 picture whose chroma planes hold (width + 1) / 2 x (height + 1)
// / 2 samples: the converter and the scaler write (width / 2) x (height / 2).
// Planes of the full size would double the memory of every staged picture.
// Allocated once, reused for every picture.
struct PlanarPicture {
    VideoFrame frame{};
    std::vector<std::uint8_t> storage;

    void Allocate(std::int32_t w, std::int32_t h);
};

// One output picture, ready for the encoder front.
struct StagedPicture {
    PlanarPicture picture;              // at the output size
    std::vector<std::int16_t> sound;    // this picture's samples
    SampleBlock block{};                // points into sound
    bool readFailed = false;            // the source could not deliver it
};

class PictureStage : NonCopyable {
public:
    struct Source {
        IVideoFrameSource* frames = nullptr;
        IYuvUtil* yuv = nullptr;
        IAudioStreamConverter* sound = nullptr;
        void* previewWindow = nullptr;
        std::vector<std::uint8_t>* frameBuffer = nullptr;  // holds picture 0 already
        std::int32_t sourceWidth = 0;
        std::int32_t sourceHeight = 0;
        std::int32_t outputWidth = 0;
        std::int32_t outputHeight = 0;
    };

    PictureStage() = default;
    ~PictureStage();

    // Takes the components (not owned; they must outlive the stage, and only
    // the stage uses them until Stop) and allocates the pictures.
    void Configure(const Source& source);

    // Produces picture i into out (allocated at the output size). False when
    // the picture cannot be read; out.readFailed says the same.
    bool Produce(std::uint32_t i, StagedPicture& out);

    // Runs Produce for pictures 0 .. count - 1 on a thread of its own, up to
    // `depth` pictures ahead of the consumer. False when no thread could be
    // started (then nothing runs ahead; use Produce directly).
    bool Start(std::uint32_t count, std::size_t depth);
    // The next picture in order; waits for it. Valid until Done. The stage ends
    // after a picture that could not be read.
    StagedPicture& Next();
    // The picture from Next is used up; its slot takes a later picture.
    void Done();
    // Stops the reading thread (after the picture it is working on) and waits
    // for it. Safe to call more than once, and without Start.
    void Stop();

private:
    bool ProduceOrThrow(std::uint32_t i, StagedPicture& out);

    Source src_;
    bool scaling_ = false;
    PlanarPicture sourceSize_;  // the converted picture before scaling
    // The last bitmap converted: a picture read the same as it (still
    // scenes, repeated source pictures) takes the previous conversion instead
    // of converting again.
    std::vector<std::uint8_t> previousBitmap_;
    const StagedPicture* previous_ = nullptr;  // null when there is none to reuse

    std::vector<StagedPicture> slots_;
    ReadAhead ahead_;
};

}  // namespace reelcast::jobs
