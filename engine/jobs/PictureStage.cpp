#include "engine/jobs/PictureStage.h"

#include <algorithm>
#include <new>

#include "engine/jobs/PictureSound.h"
#include "platform/avifile/BitmapInfo.h"
#include "platform/window/PreviewWindow.h"

namespace reelcast::jobs {

void PlanarPicture::Allocate(std::int32_t w, std::int32_t h) {
    const std::size_t luma = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const std::size_t chroma = static_cast<std::size_t>((w + 1) / 2) * static_cast<std::size_t>((h + 1) / 2);
    storage.assign(luma + 2 * chroma, 0);
    frame.width = w;
    frame.height = h;
    frame.chromaFormat = 1;
    frame.y = storage.data();
    frame.cb = frame.y + luma;
    frame.cr = frame.cb + chroma;
}

PictureStage::~PictureStage() { Stop(); }

void PictureStage::Configure(const Source& source) {
    src_ = source;
    scaling_ = src_.sourceWidth != src_.outputWidth || src_.sourceHeight != src_.outputHeight;
    if (scaling_) sourceSize_.Allocate(src_.sourceWidth, src_.sourceHeight);
    previousBitmap_.assign(src_.frameBuffer->size(), 0);
    previous_ = nullptr;
}

bool PictureStage::Produce(std::uint32_t i, StagedPicture& out) {
    try {
        return ProduceOrThrow(i, out);
    } catch (const std::bad_alloc&) {
        // Only the first pictures allocate; out of memory there reads as a
        // picture that cannot be had.
        out.readFailed = true;
        return false;
    }
}

bool PictureStage::ProduceOrThrow(std::uint32_t i, StagedPicture& out) {
    const StagedPicture* previous = previous_;
    previous_ = nullptr;
    if (out.picture.storage.empty()) out.picture.Allocate(src_.outputWidth, src_.outputHeight);
    std::vector<std::uint8_t>& buffer = *src_.frameBuffer;
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    out.readFailed = !src_.frames->GetFrame(i, buffer.data(), &size);
    if (out.readFailed) return false;
    platform::DrawPicture(src_.previewWindow, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    // The previous picture stays in its slot until this stage writes there
    // again, which is never the slot being produced now (or is this very one).
    // Whole buffers are compared: the converter reads nothing else.
    const bool same = previous && buffer == previousBitmap_;
    if (same) {
        if (previous != &out)
            std::copy(previous->picture.storage.begin(), previous->picture.storage.end(), out.picture.storage.begin());
    } else {
        VideoFrame& converted = scaling_ ? sourceSize_.frame : out.picture.frame;
        src_.yuv->RgbToYuv420(src_.sourceWidth, src_.sourceHeight, buffer.data() + platform::kBitmapInfoHeaderSize,
                              converted.y, converted.cb, converted.cr);
        if (scaling_) src_.yuv->Scale(&converted, &out.picture.frame);
        std::copy(buffer.begin(), buffer.end(), previousBitmap_.begin());
    }
    SampleBlock block{};
    src_.sound->GetBlock(&block);
    out.block = KeepBlock(block, out.sound);
    previous_ = &out;
    return true;
}

bool PictureStage::Start(std::uint32_t count, std::size_t depth) {
    Stop();
    slots_.resize(std::max<std::size_t>(depth, 1));
    previous_ = nullptr;
    for (StagedPicture& s : slots_) s.picture.Allocate(src_.outputWidth, src_.outputHeight);
    return ahead_.Start(count, slots_.size(), [this](std::uint32_t i, std::size_t slot) { return Produce(i, slots_[slot]); });
}

StagedPicture& PictureStage::Next() { return slots_[ahead_.Next()]; }

void PictureStage::Done() { ahead_.Done(); }

void PictureStage::Stop() { ahead_.Stop(); }

}  // namespace reelcast::jobs
