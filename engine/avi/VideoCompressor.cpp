// MYVFW: the platform's video compressors behind IVideoCompressor.
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/avi/IVideoCompressor.h"
#include "engine/core/Component.h"
#include "platform/avifile/AviVideoCompressor.h"
#include "platform/ui/Dialogs.h"

namespace reelcast::avi {
namespace {

namespace af = platform::avifile;

// The compressor's settings: as chosen (its defaults), and as the stream takes
// them, fixed when the frame rate is set.
struct CompressorSettings {
    std::uint32_t handler = 0;
    std::int32_t keyFrameEvery = 0;
    std::int32_t quality = 0;
};

class VideoCompressor final : public core::Component<IVideoCompressor, VideoCompressor> {
public:
    bool Init() override {
        stream_ = -1;
        file_ = nullptr;
        framePos_ = 0;
        open_ = false;
        aspectNum_ = aspectDen_ = 1;
        return true;
    }

    bool EnumVideoCodec(std::int32_t index, char* name, std::uint32_t* handler) override {
        af::VideoCompressorInfo info;
        if (!af::EnumVideoCompressor(index, &info)) return false;
        if (handler) *handler = info.handler;
        if (name) {
            const std::size_t n = std::min<std::size_t>(info.description.size(), 255);
            std::memcpy(name, info.description.data(), n);
            name[n] = '\0';
        }
        return true;
    }

    bool ListCodecs() override {
        char name[256];
        std::uint32_t h = 0;
        for (int i = 0; EnumVideoCodec(i, name, &h); ++i) {
            std::printf("%d name=%s, hanle=%c%c%c%c\n", i, name, char(h & 0xFF), char((h >> 8) & 0xFF),
                        char((h >> 16) & 0xFF), char((h >> 24) & 0xFF));
        }
        std::fflush(stdout);
        return true;
    }

    bool ChooseCompressor() override {
        std::vector<std::string> names;
        char name[256];
        for (int i = 0; EnumVideoCodec(i, name, nullptr); ++i) names.emplace_back(name);
        platform::ui::CompressorChoice choice;
        return platform::ui::RunCompressorChooseDialog(nullptr, names, &choice);
    }

    void SetFrameRate(double fps) override {
        header_ = af::AviStreamInfo{};
        header_.fccType = af::kStreamTypeVideo;
        header_.fccHandler = chosen_.handler;
        header_.scale = 1000;
        header_.rate = fps > 0 && fps < 4e6 ? std::uint32_t(fps * 1000.0) : 25000;
        header_.suggestedBufferSize = input_.sizeImage;
        header_.quality = -1;

        streamSettings_ = chosen_;
    }

    void CloseCompressor() override {
        if (open_) open_ = false;
    }

    bool OpenCompressor(std::uint32_t handler, std::int32_t width, std::int32_t height,
                        std::int32_t format) override {
        af::BitmapInfoHeader in;
        in.width = width;
        in.height = height;
        switch (format) {
        case 0:
            in.bitCount = 32;
            break;
        case 1:
            in.bitCount = 24;
            break;
        case 3:
            in.bitCount = 16;
            in.compression = af::MakeFourCC('Y', 'U', 'Y', '2');
            break;
        default:
            return false;
        }
        if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
        // Rows of the pictures the frame source hands over are padded to 4 bytes.
        in.sizeImage = (format == 3 ? std::uint32_t(width) * 2 : af::DibStride(width, in.bitCount)) *
                         std::uint32_t(height);
        af::VideoCompressorInfo info;
        if (!af::FindVideoCompressor(handler, &info)) return false;
        // Whether it takes this input at this size: open it once for a try.
        if (!af::VideoEncoder::Open(handler, in, info.defaultKeyFrameRate, info.defaultQuality, 25, 1))
            return false;
        CloseCompressor();
        input_ = in;
        chosen_ = {handler, info.defaultKeyFrameRate, info.defaultQuality};
        open_ = true;
        return true;
    }

    bool CreateVideoStream(af::AviFileWriter* file) override {
        if (!file || !open_) return false;
        ReleaseStream();
        header_.fccHandler = chosen_.handler;
        const int s = file->CreateStream(header_);
        if (s < 0) return false;
        encoder_ = af::VideoEncoder::Open(streamSettings_.handler ? streamSettings_.handler : chosen_.handler,
                                          input_, streamSettings_.keyFrameEvery, streamSettings_.quality, header_.rate,
                                          header_.scale, aspectNum_, aspectDen_);
        if (!encoder_) return false;
        const std::vector<std::uint8_t>& fmt = encoder_->OutputFormat();
        if (!file->SetFormat(s, fmt.data(), fmt.size()) ||
            (aspectNum_ != aspectDen_ && !file->SetPixelAspect(s, aspectNum_, aspectDen_))) {
            encoder_.reset();
            return false;
        }
        file_ = file;
        stream_ = s;
        framePos_ = 0;
        return true;
    }

    bool WriteFrame(const void* bits, std::int32_t* bytesWritten) override {
        if (!file_ || stream_ < 0 || !encoder_ || !bits) return false;
        bool key = false;
        if (!encoder_->Encode(bits, &chunk_, &key)) return false;
        if (!file_->Write(stream_, chunk_.data(), chunk_.size(), key)) return false;
        if (bytesWritten) *bytesWritten = std::int32_t(chunk_.size());
        ++framePos_;
        return true;
    }

    void ReleaseStream() override {
        encoder_.reset();
        file_ = nullptr;
        stream_ = -1;
    }

    void SetPixelAspect(std::int32_t num, std::int32_t den) override {
        const bool valid = num > 0 && den > 0;
        aspectNum_ = valid ? num : 1;
        aspectDen_ = valid ? den : 1;
    }

private:
    std::int32_t framePos_ = 0;
    af::AviFileWriter* file_ = nullptr;  // not owned: the writer's
    int stream_ = -1;
    af::AviStreamInfo header_;
    CompressorSettings streamSettings_;
    CompressorSettings chosen_;
    af::BitmapInfoHeader input_;
    bool open_ = false;
    std::int32_t aspectNum_ = 1, aspectDen_ = 1;
    std::unique_ptr<af::VideoEncoder> encoder_;
    std::vector<std::uint8_t> chunk_;
};

}  // namespace
}  // namespace reelcast::avi

REELCAST_EXPORT_COMPONENT(MYVFW, reelcast::avi::VideoCompressor)
