#include "engine/media/MediaAudioData.h"

#include <cstring>
#include <new>

#include "platform/acm/AcmPcmStream.h"
#include "platform/dshow/AudioStream.h"

namespace reelcast::media {

MediaAudioData::~MediaAudioData() { Stop(); }

bool MediaAudioData::Init() {
    produced_ = 0;
    status_ = 0;
    largest_ = 0;
    ended_ = true;  // nothing to ask until Open has started a thread
    return true;
}

void MediaAudioData::Stop() {
    if (thread_.joinable()) {
        queue_->PostQuit();
        thread_.join();
    }
}

bool MediaAudioData::Open(const char* path, std::uint32_t sampleRate) {
    Stop();
    produced_ = 0;
    largest_ = 0;
    status_ = -1;
    ended_ = true;
    if (!PathFits(path) || sampleRate == 0 || sampleRate > 768000) return false;
    if (!input_) input_.reset(new (std::nothrow) std::uint8_t[kInputBytes]);
    if (!output_) output_.reset(new (std::nothrow) std::uint8_t[kOutputBytes]);
    if (!input_ || !output_) return false;
    CopyText(path_, path);
    sampleRate_ = sampleRate;
    queue_ = std::make_unique<platform::MessageQueue>();
    ready_.Reset();
    ended_ = false;
    thread_ = std::thread(&MediaAudioData::DecodingThread, this);
    ready_.Wait();
    ready_.Reset();
    return status_ >= 0;
}

void MediaAudioData::DecodingThread() {
    platform::AudioStream stream;
    platform::AcmPcmStream acm;
    bool convert = false;
    if (!stream.Open(path_)) {
        status_ = platform::AudioStream::kFailed;
    } else {
        const platform::WaveFormat in = stream.Format();
        channels_ = in.channels;
        // Everything after the reader treats chunks as stereo: more channels are
        // mixed down here; one channel stays one and is doubled below.
        const std::uint16_t outChannels = in.channels > 2 ? 2 : in.channels;
        const platform::WaveFormat target = platform::MakePcmFormat(outChannels, sampleRate_, 16);
        convert = in.samplesPerSec != sampleRate_ || in.bitsPerSample < 16 || in.channels > 2 ||
                  in.bitsPerSample > 16;
        if (convert && !acm.Open(in, target)) status_ = platform::AudioStream::kFailed;
        else status_ = platform::AudioStream::kOk;
    }
    if (status_ < 0) {
        ended_ = true;
        ready_.Set();
        return;
    }
    ready_.Set();

    platform::ThreadMessage msg;
    bool flushed = !convert;
    while (queue_->GetMessage(&msg)) {
        if (msg.message != kRequest) continue;
        // A read whose conversion gives nothing yet (the resampler holds a short
        // read back) is followed by the next one: an empty answer would read as
        // the end of the sound.
        std::uint32_t n = 0;
        bool failed = false;
        while (n == 0) {
            std::uint32_t filled = 0;
            const platform::AudioStream::Status st = stream.Update(input_.get(), kInputBytes, &filled);
            status_ = st;
            if (st == platform::AudioStream::kFailed) {
                failed = true;
                break;
            }
            const bool atEnd = st != platform::AudioStream::kOk;
            if (atEnd && flushed) break;
            if (convert) {
                // At the end the resampler gives up the samples it still holds.
                const std::int64_t got = atEnd ? acm.Convert(nullptr, 0, output_.get(), kOutputBytes)
                                               : acm.Convert(input_.get(), filled, output_.get(), kOutputBytes);
                if (got < 0) {
                    // A failed conversion in mid-stream ends the sound like its end.
                    status_ = platform::AudioStream::kFailed;
                    failed = true;
                    break;
                }
                n = static_cast<std::uint32_t>(got);
                if (atEnd) {
                    flushed = true;
                    if (n == 0) break;
                    status_ = platform::AudioStream::kOk;
                }
            } else {
                std::memcpy(output_.get(), input_.get(), filled);
                n = filled;
            }
        }
        if (failed || n == 0) {
            ended_ = true;
            ready_.Set();
            break;
        }
        if (channels_ == 1) {
            // Mono to stereo in place, from the end backwards.
            if (n > kOutputBytes / 2) n = kOutputBytes / 2;
            n &= ~1u;
            std::uint8_t* b = output_.get();
            for (std::uint32_t i = n / 2; i-- > 0;) {
                std::uint8_t s[2];
                std::memcpy(s, b + 2 * i, 2);
                std::memcpy(b + 4 * i, s, 2);
                std::memcpy(b + 4 * i + 2, s, 2);
            }
            n *= 2;
        }
        produced_ = n;
        ready_.Set();
    }
}

bool MediaAudioData::GetChunk(std::uint8_t** data, std::uint32_t* bytes) {
    if (!data || !bytes) return false;
    *data = nullptr;
    *bytes = 0;
    if (!ended_) {
        queue_->Post(kRequest);
        ready_.Wait();
    }
    const std::uint32_t produced = produced_;
    // Sound is handed out exactly as produced: a resampled read gives a few bytes
    // more or less from read to read, and padding the shorter ones would insert
    // silence and make the sound run late. Only past the end is a chunk silence
    // of the largest size, so that blocks stay full to the end of the pictures.
    const std::uint32_t size = produced > 0 ? produced : largest_;
    if (size > 0) {
        std::uint8_t* chunk = new (std::nothrow) std::uint8_t[size];
        if (!chunk) return false;
        if (produced > 0) std::memcpy(chunk, output_.get(), produced);
        std::memset(chunk + produced, 0, size - produced);
        *data = chunk;
        *bytes = size;
        if (size > largest_) largest_ = size;
    }
    produced_ = 0;
    if (!ended_) ready_.Reset();
    return true;
}

void MediaAudioData::FreeChunk(std::uint8_t* data) { delete[] data; }

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(MEDIAAUDIODATA, reelcast::media::MediaAudioData)
