// AVIENC: drives the writer for the AVI job: parameters, opening, frames, splits.
#include <cstdlib>
#include <cstring>

#include "engine/avi/IAviEncoder.h"
#include "engine/avi/IAviWriter.h"
#include "engine/core/Component.h"
#include "engine/core/ComponentHandle.h"
#include "engine/core/Factories.h"
#include "engine/picture/IYuvToRgb.h"
#include "engine/picture/VideoFrame.h"

namespace reelcast::avi {
namespace {

const std::int32_t kMp3Bitrates[8] = {80, 96, 112, 128, 160, 192, 224, 256};

class AviEncoder final : public core::Component<IAviEncoder, AviEncoder> {
public:
    bool Init() override {
        writer_ = core::MakeHandle<IAviWriter>("AVILIB");
        std::memset(&params_, 0, sizeof params_);
        return static_cast<bool>(writer_);
    }

    void SetMp3BitrateIndex(std::int32_t index) override {
        if (index >= 0 && index < 8) writer_->SetMp3Bitrate(kMp3Bitrates[index]);
    }

    bool SetParameters(const AviEncodeParams* params, std::int32_t sampleRate) override {
        if (!params) return false;
        params_ = *params;
        params_.outputPath[sizeof params_.outputPath - 1] = '\0';
        sampleRate_ = sampleRate;
        return true;
    }

    bool Open() override {
        if (!writer_->OpenCompressor(handler_, params_.width, params_.height, 1)) return false;
        const OutputSpec spec{params_.outputPath, AviFrameRate(params_.frameRateIndex), sampleRate_};
        writer_->Create(&spec);  // a failed Create makes the first frame fail
        return true;
    }

    bool WriteFrame(const void* pixels, std::int32_t, const SampleBlock* audio) override {
        const bool ok = writer_->WriteFrame(pixels, audio ? audio->data : nullptr,
                                            audio ? std::int32_t(audio->count) : 0);
        const auto rule = static_cast<AviSplitRule>(params_.splitRule);
        if (rule < AviSplitRule::At730MiB || rule > AviSplitRule::Custom) return ok;
        const double limit = SplitSizeMiB(rule, params_.customSplitSizeMiB);
        if (writer_->GetFileSizeMiB() > limit - 0.1) writer_->NextFile();
        return ok;
    }

    bool WriteFrameConverted(const void* frame, const SampleBlock* audio) override {
        if (!frame) return false;
        std::uint8_t* rgb = nullptr;
        bool converted = false;
        {
            const auto yuv = core::MakeHandle<IYuvToRgb>("YUVRGB");
            if (!yuv) return false;
            converted = yuv->ToRgb24(static_cast<const VideoFrame*>(frame), &rgb);
        }
        if (!converted || !rgb) {
            std::free(rgb);
            return false;
        }
        const bool ok = WriteFrame(rgb, 0, audio);
        std::free(rgb);
        return ok;
    }

    void SetMessageSink(IAviMessageSink* sink) override { writer_->SetMessageSink(sink); }

    bool EnumVideoCodec(std::int32_t index, char* name, std::uint32_t* handler) override {
        return writer_->EnumVideoCodec(index, name, handler);
    }

    void SetVideoCodec(std::uint32_t handler) override { handler_ = handler; }

    bool ConfigureAudio(void* owner, std::int32_t audioType) override {
        return writer_->SetAudioType(audioType) && writer_->ConfigureAudio(owner);
    }

    bool SetAudioType(std::int32_t audioType) override { return writer_->SetAudioType(audioType); }

    const char* GetAudioDescription() override { return writer_->GetAudioDescription(); }

    bool ChooseDefaultAudioFormat(std::int32_t sampleRate) override {
        return writer_->ChooseDefaultAudioFormat(sampleRate);
    }

    bool Close() override { return writer_->CloseOutput(); }

    std::uint32_t GetVideoCodec() override { return handler_; }

    void SetPixelAspect(std::int32_t num, std::int32_t den) override { writer_->SetPixelAspect(num, den); }

private:
    std::uint32_t handler_ = 0;
    core::ComponentHandle<IAviWriter> writer_;
    AviEncodeParams params_{};
    std::int32_t sampleRate_ = 44100;
};

}  // namespace
}  // namespace reelcast::avi

REELCAST_EXPORT_COMPONENT(AVIENC, reelcast::avi::AviEncoder)
