// AVILIB: the AVI file, its video stream and its sound.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/avi/IAviWriter.h"
#include "engine/avi/AviOutputName.h"
#include "engine/avi/IMp3Encoder.h"
#include "engine/avi/IVideoCompressor.h"
#include "engine/avi/LameSettings.h"
#include "engine/core/Component.h"
#include "engine/core/ComponentHandle.h"
#include "engine/core/Factories.h"
#include "engine/core/ParallelRows.h"
#include "engine/core/ThreadCount.h"
#include "engine/media/IWavWriter.h"
#include "platform/acm/AcmCodecs.h"
#include "platform/avifile/AviFileWriter.h"
#include "platform/ui/Dialogs.h"

namespace reelcast::avi {
namespace {

namespace af = platform::avifile;
namespace acm = platform::acm;

constexpr std::size_t kMp3BufferSize = 16384;
constexpr std::size_t kMaxBlockSamples = 8192;  // 16-bit samples per audio write
constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagMp3 = 0x55;

// The library's messages are formatted and dropped: nobody reads them.
void DiscardReport(const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format ? format : "", args);
}

void Remove(const std::string& path) {
    if (!path.empty()) unlink(path.c_str());
}

class AviWriter final : public core::Component<IAviWriter, AviWriter> {
public:
    ~AviWriter() {
        CloseOutput();
        if (compressor_) compressor_->CloseCompressor();
        lame_.reset();
        compressor_.reset();
    }

    bool Init() override {
        compressor_ = core::MakeHandle<IVideoCompressor>("MYVFW");
        lame_ = core::MakeHandle<IMp3Encoder>("LAME");
        if (!compressor_ || !lame_) return false;
        ApplyLameSettings(ReadLameSettings(kWriterLameDefaults));
        return true;
    }

    double GetFileSizeMiB() override { return double(videoBytes_ + audioBytes_) / 1048576.0; }

    bool NextFile() override {
        CloseOutput();
        ResetCounters();
        ++fileIndex_;
        char name[300];
        std::snprintf(name, sizeof name, "%s_%02d.avi", basePath_, fileIndex_);
        const std::string avi = name;
        std::string wav;
        if (audioType_ == AviAudioType::Pcm) {
            std::snprintf(name, sizeof name, "%s_%02d.wav", basePath_, fileIndex_);
            wav = name;
        }
        Remove(avi);
        Remove(wav);
        return OpenOutputFiles(avi, wav);
    }

    void SetMessageSink(IAviMessageSink* sink) override { sink_ = sink; }

    void SetMp3Bitrate(std::int32_t kbps) override { lame_->SetBitrate(kbps); }

    bool WriteFrame(const void* pixels, const std::int16_t* samples, std::int32_t count) override {
        std::int32_t bytes = 0;
        if (!file_) return false;
        if (count > 0 && samples && audioType_ == AviAudioType::Mp3) {
            // MP3 coding needs nothing of the picture: it runs beside the
            // compressor, and its chunks follow the picture's as before.
            bool pictureOk = false;
            bool soundOk = false;
            beside_.Run(2, [&](int task) {
                if (task == 0) pictureOk = compressor_->WriteFrame(pixels, &bytes);
                else soundOk = EncodeMp3Blocks(samples, count);
            });
            if (!pictureOk) return false;
            videoBytes_ += std::uint64_t(bytes);
            if (!WriteMp3Chunks() || !soundOk) return false;
            ++frames_;
            return true;
        }
        if (!compressor_->WriteFrame(pixels, &bytes)) return false;
        videoBytes_ += std::uint64_t(bytes);
        if (count > 0 && samples) {
            for (std::int32_t at = 0; at < count;) {
                const std::int32_t n = std::min<std::int32_t>(count - at, kMaxBlockSamples);
                if (!WriteAudio(samples + at, n)) return false;
                at += n;
            }
        }
        ++frames_;
        return true;
    }

    bool Create(const OutputSpec* spec) override {
        CloseOutput();
        if (!spec || !spec->path) return false;
        const std::size_t len = std::strlen(spec->path);
        // The base path holds 255 characters; a longer name would be a different file.
        if (len == 0 || len > 255) return false;
        const std::string base = AviBaseName(spec->path);
        std::memcpy(basePath_, base.c_str(), base.size() + 1);
        ResetCounters();
        fileIndex_ = 1;
        frameRate_ = spec->frameRate;
        compressor_->SetFrameRate(spec->frameRate);

        if (audioType_ == AviAudioType::Codec && !formatChosen_) return false;
        // The WAV file beside the AVI is always written as 44100 Hz.
        if (audioType_ == AviAudioType::Pcm && spec->sampleRate != 44100) return false;
        if (audioType_ == AviAudioType::Mp3) {
            if (!lame_->IsLoaded()) return false;
            lame_->SetSampleRate(spec->sampleRate);
            BuildMp3Format();
            BuildAudioHeader();
        } else if (audioType_ == AviAudioType::Codec) {
            // The blocks arrive at the conversion's rate: the codec stream converts
            // from there to the chosen format's rate.
            SetSourceFormat(spec->sampleRate);
            if (destFormat_.size() < sizeof(acm::WaveFormatEx)) return false;
            BuildAudioHeader();
        }
        const std::string avi = AviOutputName(spec->path);
        const std::string wav = std::string(basePath_) + ".wav";
        Remove(avi);
        Remove(wav);
        return OpenOutputFiles(avi, audioType_ == AviAudioType::Pcm ? wav : std::string());
    }

    bool OpenCompressor(std::uint32_t handler, std::int32_t width, std::int32_t height,
                        std::int32_t format) override {
        return compressor_->OpenCompressor(handler, width, height, format);
    }

    bool EnumVideoCodec(std::int32_t index, char* name, std::uint32_t* handler) override {
        return compressor_->EnumVideoCodec(index, name, handler);
    }

    bool SetAudioType(std::int32_t type) override {
        audioType_ = static_cast<AviAudioType>(type);
        return true;
    }

    bool ConfigureAudio(void* owner) override {
        destFormat_.clear();
        formatChosen_ = false;
        if (audioType_ == AviAudioType::Mp3) {
            const LameRegistryValues stored = ReadLameSettings(kDialogLameDefaults);
            platform::ui::LameSettings s{stored.bitrate, stored.stereo, stored.quality, stored.lowpass,
                                         stored.highpass};
            if (!platform::ui::RunLameConfigDialog(owner, &s)) return false;
            const LameRegistryValues chosen{s.bitrate, s.stereo, s.quality, s.lowpass, s.highpass};
            WriteLameSettings(chosen);
            ApplyLameSettings(chosen);
            formatChosen_ = true;
            return true;
        }
        if (audioType_ == AviAudioType::Codec) return ChooseCodecFormat(owner);
        return true;
    }

    const char* GetAudioDescription() override {
        char text[256];
        if (audioType_ == AviAudioType::Mp3) {
            std::snprintf(text, sizeof text, "MP3 Lame\r\n%dkbps\r\n%s\r\nH%d", lame_->GetBitrate(),
                          lame_->GetStereoMode() == 0 ? "Stereo" : "Join Stereo", lame_->GetQuality());
        } else {
            std::snprintf(text, sizeof text, "ACM \r\n%dkbps\r\n%dChannel", int(source_.avgBytesPerSec),
                          int(source_.channels));
        }
        description_ = text;
        return description_.c_str();
    }

    bool ReloadAudioSettings() override {
        if (audioType_ == AviAudioType::Mp3) {
            ApplyLameSettings(ReadLameSettings(kWriterLameDefaults));
            formatChosen_ = true;
            return true;
        }
        if (audioType_ == AviAudioType::Codec) {
            if (source_.formatTag == 0) return false;
            destFormat_.clear();
            formatChosen_ = false;
            return ChooseCodecFormat(nullptr);
        }
        return true;
    }

    bool ChooseDefaultAudioFormat(std::int32_t sampleRate) override {
        SetSourceFormat(sampleRate);
        for (const acm::FormatChoice& c : acm::EnumFormats(source_)) {
            acm::WaveFormatEx w;
            std::memcpy(&w, c.format.data(), sizeof w);
            if (w.formatTag == kTagPcm) continue;
            destFormat_ = c.format;
            formatChosen_ = true;
            return true;
        }
        return false;
    }

    bool CloseOutput() override {
        bool ok = StopAudio();
        if (compressor_) compressor_->ReleaseStream();
        audioStream_ = -1;
        if (file_) {
            ok = file_->Close() && ok;
            file_.reset();
        }
        wav_.reset();
        return ok;
    }

    void SetPixelAspect(std::int32_t num, std::int32_t den) override { compressor_->SetPixelAspect(num, den); }

private:
    void ApplyLameSettings(const LameRegistryValues& v) {
        lame_->SetBitrate(v.bitrate);
        lame_->SetStereoMode(v.stereo);
        lame_->SetQuality(v.quality);
        lame_->SetLowpass(v.lowpass);
        lame_->SetHighpass(v.highpass);
    }

    void ResetCounters() {
        frames_ = 0;
        videoBytes_ = 0;
        audioBytes_ = 0;
        audioPos_ = 0;
        audioStream_ = -1;
    }

    void SetSourceFormat(std::int32_t rate) {
        source_ = acm::WaveFormatEx{};
        source_.formatTag = kTagPcm;
        source_.channels = 2;
        source_.samplesPerSec = std::uint32_t(rate);
        source_.avgBytesPerSec = std::uint32_t(rate) * 4;
        source_.blockAlign = 4;
        source_.bitsPerSample = 16;
        source_.cbSize = 0;
    }

    bool ChooseCodecFormat(void* owner) {
        SetSourceFormat(lame_->GetSampleRate());
        maxFormatSize_ = acm::MaxFormatSize();
        const std::vector<acm::FormatChoice> choices = acm::EnumFormats(source_);
        std::vector<platform::ui::FormatItem> items;
        int chosen = -1;
        for (std::size_t i = 0; i < choices.size(); ++i) {
            items.push_back({choices[i].tagName, choices[i].description});
            // The choice opens at the format it was given: the source's own.
            if (chosen < 0 && choices[i].format.size() == sizeof(acm::WaveFormatEx) &&
                std::memcmp(choices[i].format.data(), &source_, sizeof source_) == 0)
                chosen = int(i);
        }
        if (!platform::ui::RunFormatChooseDialog(owner, "Select Audio Codec", items, &chosen) || chosen < 0 ||
            chosen >= int(choices.size())) {
            destFormat_.clear();
            return false;
        }
        destFormat_ = choices[std::size_t(chosen)].format;
        formatChosen_ = true;
        return true;
    }

    // MPEGLAYER3WAVEFORMAT (30 bytes).
    void BuildMp3Format() {
        acm::WaveFormatEx w;
        w.formatTag = kTagMp3;
        w.channels = 2;
        w.samplesPerSec = std::uint32_t(lame_->GetSampleRate());
        w.avgBytesPerSec = std::uint32_t(lame_->GetBitrate() / 8) * 1000;
        w.blockAlign = 1;
        w.bitsPerSample = 0;
        w.cbSize = 12;
        destFormat_.assign(30, 0);
        std::memcpy(destFormat_.data(), &w, sizeof w);
        const std::uint16_t id = 1;          // MPEGLAYER3_ID_MPEG
        const std::uint32_t flags = 2;       // MPEGLAYER3_FLAG_PADDING_OFF
        const std::uint16_t blockSize = 731;
        const std::uint16_t framesPerBlock = 1;
        const std::uint16_t codecDelay = 0;
        std::memcpy(&destFormat_[18], &id, 2);
        std::memcpy(&destFormat_[20], &flags, 4);
        std::memcpy(&destFormat_[24], &blockSize, 2);
        std::memcpy(&destFormat_[26], &framesPerBlock, 2);
        std::memcpy(&destFormat_[28], &codecDelay, 2);
    }

    const acm::WaveFormatEx& Dest() const {
        return *reinterpret_cast<const acm::WaveFormatEx*>(destFormat_.data());
    }

    void BuildAudioHeader() {
        acm::WaveFormatEx d;
        std::memcpy(&d, destFormat_.data(), sizeof d);
        audioHeader_ = af::AviStreamInfo{};
        audioHeader_.fccType = af::kStreamTypeAudio;
        audioHeader_.fccHandler = 0;
        audioHeader_.scale = d.blockAlign;
        audioHeader_.rate = d.avgBytesPerSec;
        audioHeader_.start = 0;
        audioHeader_.length = 0xFFFFFFFFu;
        audioHeader_.quality = -1;
        audioHeader_.sampleSize = d.blockAlign;
        audioHeader_.name = "Audio Stream";
    }

    void Report(const char* text) {
        if (sink_) sink_->Report(text);
    }

    bool OpenOutputFiles(const std::string& aviName, const std::string& wavName) {
        file_ = af::AviFileWriter::Create(aviName);
        if (!file_) return false;
        if (!compressor_->CreateVideoStream(file_.get())) return false;
        switch (audioType_) {
        case AviAudioType::Pcm:
            wav_ = core::MakeHandle<IWavWriter>("WAVFILE");
            return wav_ && wav_->Open(wavName.c_str());
        case AviAudioType::Mp3:
            return StartMp3() && CreateAudioStream() && PlaceMp3Sound();
        case AviAudioType::Codec:
            return StartCodec() && CreateAudioStream();
        default:
            return true;
        }
    }

    bool CreateAudioStream() {
        if (destFormat_.size() < sizeof(acm::WaveFormatEx)) return false;
        const std::size_t size = 18 + Dest().cbSize;
        if (size > destFormat_.size()) return false;
        audioStream_ = file_->CreateStream(audioHeader_);
        return audioStream_ >= 0 && file_->SetFormat(audioStream_, destFormat_.data(), size);
    }

    bool StartMp3() {
        mp3_ = lame_->New();
        if (!mp3_) return false;
        mp3Out_.assign(kMp3BufferSize, 0);
        beside_.Start(std::min(core::ConversionThreads(), 2));  // two tasks: one helper at most
        lame_->CallbackSet(mp3_, 0, &DiscardReport);
        lame_->ApplySettings(mp3_);
        return lame_->InitParams(mp3_) >= 0;
    }

    // The decoded MP3 sound trails its input by the encoder's start-up. Rather
    // than lose the first input samples, the pictures start later by a whole
    // number of pictures (the video stream's start, which players honour) and
    // silence fills the sound up to the first picture's time.
    bool PlaceMp3Sound() {
        const std::int32_t delay = lame_->StartDelay(mp3_);
        const double perPicture = frameRate_ > 0 ? lame_->GetSampleRate() / frameRate_ : 0.0;
        if (delay <= 0 || !(perPicture >= 1)) return true;
        const auto pictures = std::uint32_t(std::ceil(delay / perPicture - 1e-9));
        const int video = file_->FirstStream(af::kStreamTypeVideo);
        if (video < 0 || !file_->SetStart(video, pictures)) return false;
        std::int64_t silence = std::llround(pictures * perPicture) - delay;
        std::fill(std::begin(sampleBuffer_), std::end(sampleBuffer_), std::int16_t{0});
        while (silence > 0) {
            const auto pairs = std::int32_t(std::min<std::int64_t>(silence, 4096));
            if (!EncodeMp3(pairs)) return false;
            silence -= pairs;
        }
        return true;
    }

    bool StartCodec() {
        codec_ = acm::CodecStream::Open(-1, source_, destFormat_);
        if (!codec_) {
            for (const acm::CodecDriver& d : acm::CodecDrivers()) {
                char text[300];
                std::snprintf(text, sizeof text, "Trying driver: [%s]\n", d.longName.c_str());
                Report(text);
                codec_ = acm::CodecStream::Open(d.id, source_, destFormat_);
                if (codec_) break;
            }
            if (!codec_) {
                Report("Error initializing audio stream compression.");
                return false;
            }
        }
        codecOut_.assign(codec_->OutputSizeFor(sizeof sampleBuffer_), 0);
        return true;
    }

    bool WriteAudio(const std::int16_t* samples, std::int32_t count) {
        switch (audioType_) {
        case AviAudioType::Pcm:
            return wav_ && wav_->WriteSamples(samples, std::uint32_t(count));
        case AviAudioType::Codec:
            return WriteCodec(samples, count);
        default:
            return true;
        }
    }

    // Encodes a picture's samples, a block of at most kMaxBlockSamples at a
    // time, into chunks kept for WriteMp3Chunks; touches nothing of the file.
    bool EncodeMp3Blocks(const std::int16_t* samples, std::int32_t count) {
        mp3Chunks_.clear();
        mp3ChunkEnds_.clear();
        if (!mp3_ || audioStream_ < 0) return false;
        for (std::int32_t at = 0; at < count;) {
            const std::int32_t n = std::min<std::int32_t>(count - at, kMaxBlockSamples);
            const std::int32_t pairs = n / 2;
            for (std::int32_t i = 0; i < pairs; ++i) {
                left_[i] = samples[at + 2 * i];
                right_[i] = samples[at + 2 * i + 1];
            }
            const std::int32_t got = EncodeMp3Pairs(pairs);
            if (got < 0) return false;
            mp3Chunks_.insert(mp3Chunks_.end(), mp3Out_.begin(), mp3Out_.begin() + got);
            mp3ChunkEnds_.push_back(mp3Chunks_.size());
            at += n;
        }
        return true;
    }

    bool WriteMp3Chunks() {
        std::size_t start = 0;
        for (const std::size_t end : mp3ChunkEnds_) {
            const auto n = std::uint32_t(end - start);
            if (!WriteAudioChunk(mp3Chunks_.data() + start, n, n)) return false;
            start = end;
        }
        return true;
    }

    // Encodes the first `pairs` samples of left_ and right_ into mp3Out_:
    // the bytes made, or < 0 on failure.
    std::int32_t EncodeMp3Pairs(std::int32_t pairs) {
        return lame_->EncodeBuffer(mp3_, 0, left_, right_, pairs, mp3Out_.data(), std::int32_t(mp3Out_.size()));
    }

    // The same, straight into the stream.
    bool EncodeMp3(std::int32_t pairs) {
        const std::int32_t n = EncodeMp3Pairs(pairs);
        if (n < 0) return false;
        return WriteAudioChunk(mp3Out_.data(), std::uint32_t(n), std::uint32_t(n));
    }

    bool WriteCodec(const std::int16_t* samples, std::int32_t count) {
        if (!codec_ || audioStream_ < 0) return false;
        auto* src = reinterpret_cast<std::uint8_t*>(sampleBuffer_);
        std::memcpy(src, samples, std::size_t(count) * 2);
        const std::int64_t used = codec_->Convert(src, std::uint32_t(count) * 2, codecOut_.data(),
                                                  std::uint32_t(codecOut_.size()));
        if (used < 0) return false;
        const acm::WaveFormatEx& d = Dest();
        const double perSecond = d.blockAlign ? double(d.avgBytesPerSec / d.blockAlign) : 0.0;
        const double rate = source_.samplesPerSec ? double(source_.samplesPerSec) : 44100.0;
        const auto aviSamples = std::uint32_t(double(count / 2) / rate * perSecond + 0.5);
        return WriteAudioChunk(codecOut_.data(), std::uint32_t(used), aviSamples);
    }

    bool WriteAudioChunk(const std::uint8_t* data, std::uint32_t bytes, std::uint32_t samples) {
        if (bytes == 0) return true;
        if (!file_->Write(audioStream_, data, bytes, true)) return false;
        audioPos_ += std::int32_t(samples);
        audioBytes_ += bytes;
        return true;
    }

    // Ends the sound of the current file: what the MP3 encoder or the codec still
    // holds is written before the stream closes, so the end of the sound is kept.
    bool StopAudio() {
        bool ok = true;
        if (mp3_) {
            if (file_ && audioStream_ >= 0 && !mp3Out_.empty()) {
                const std::int32_t n = lame_->EncodeFlush(mp3_, mp3Out_.data(), std::int32_t(mp3Out_.size()));
                if (n > 0) ok = WriteAudioChunk(mp3Out_.data(), std::uint32_t(n), std::uint32_t(n));
            }
            lame_->Delete(mp3_);
            mp3_ = nullptr;
            beside_.Stop();
        }
        if (codec_) {
            if (file_ && audioStream_ >= 0) {
                const std::int64_t used = codec_->Flush(codecOut_.data(), std::uint32_t(codecOut_.size()));
                if (used > 0) ok = WriteAudioChunk(codecOut_.data(), std::uint32_t(used), 0) && ok;
                if (used < 0) ok = false;
            }
            codec_.reset();
        }
        mp3Out_.clear();
        mp3Out_.shrink_to_fit();
        codecOut_.clear();
        codecOut_.shrink_to_fit();
        return ok;
    }

    core::ComponentHandle<IVideoCompressor> compressor_;
    core::ComponentHandle<IWavWriter> wav_;
    AviAudioType audioType_ = AviAudioType::None;
    std::int32_t fileIndex_ = 1;
    double frameRate_ = 0;
    char basePath_[256] = {};
    std::unique_ptr<af::AviFileWriter> file_;
    std::int32_t frames_ = 0;
    std::uint64_t videoBytes_ = 0;
    std::uint64_t audioBytes_ = 0;
    bool formatChosen_ = false;
    std::int32_t audioPos_ = 0;
    int audioStream_ = -1;
    af::AviStreamInfo audioHeader_;
    IAviMessageSink* sink_ = nullptr;
    core::ComponentHandle<IMp3Encoder> lame_;
    Mp3Handle mp3_ = nullptr;
    std::vector<std::uint8_t> mp3Out_;
    std::vector<std::uint8_t> mp3Chunks_;     // a picture's MP3 chunks, one after the other
    std::vector<std::size_t> mp3ChunkEnds_;  // where each ends in mp3Chunks_
    core::ParallelRows beside_;               // the MP3 coding beside the compressor
    std::vector<std::uint8_t> destFormat_;
    std::uint32_t maxFormatSize_ = 0;
    // Left and right halves for the MP3 encoder; as a whole also the 16384-byte
    // source buffer of the codec stream.
    std::int16_t sampleBuffer_[2 * 4096] = {};
    std::int16_t* const left_ = sampleBuffer_;
    std::int16_t* const right_ = sampleBuffer_ + 4096;
    std::unique_ptr<acm::CodecStream> codec_;
    std::vector<std::uint8_t> codecOut_;
    acm::WaveFormatEx source_;
    std::string description_;
};

}  // namespace
}  // namespace reelcast::avi

REELCAST_EXPORT_COMPONENT(AVILIB, reelcast::avi::AviWriter)
