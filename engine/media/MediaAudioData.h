// MEDIAAUDIODATA: decodes a file's primary audio stream to 16-bit stereo PCM at a
// requested rate on a decoding thread of its own, one chunk per request.
//
// Threads: Open, GetChunk and FreeChunk run on the one caller thread; every
// platform call on the stream runs on the decoding thread. A request is posted to
// the decoding thread's queue and the caller waits on the ready event; the
// produced bytes are handed over under that handshake, one request at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "engine/core/Component.h"
#include "engine/media/IAudioReader.h"
#include "engine/media/MediaText.h"
#include "platform/thread/Event.h"
#include "platform/thread/MessageQueue.h"

namespace reelcast::media {

class MediaAudioData final : public core::Component<IAudioReader, MediaAudioData> {
public:
    // Bytes of decoded sound read from the platform per request.
    static constexpr std::uint32_t kInputBytes = 16384;
    // Bytes of converted sound one request may produce.
    static constexpr std::uint32_t kOutputBytes = 1048576;
    // The request message posted to the decoding thread.
    static constexpr std::uint32_t kRequest = platform::kWmUser;

    ~MediaAudioData();
    bool Init() override;
    bool Open(const char* path, std::uint32_t sampleRate) override;
    bool GetChunk(std::uint8_t** data, std::uint32_t* bytes) override;
    void FreeChunk(std::uint8_t* data) override;

    // Channel count of the decoded stream (0 before a successful Open).
    std::uint16_t DecodedChannels() const { return channels_; }

private:
    void Stop();
    void DecodingThread();

    std::uint16_t channels_ = 0;
    std::unique_ptr<std::uint8_t[]> input_;
    std::uint32_t produced_ = 0;
    std::uint32_t sampleRate_ = 0;
    std::thread thread_;
    std::unique_ptr<platform::MessageQueue> queue_;  // one per decoding thread
    platform::ManualResetEvent ready_;
    char path_[kPathChars] = {};
    std::atomic<std::int32_t> status_{0};
    std::atomic<bool> ended_{true};
    std::uint32_t largest_ = 0;
    std::unique_ptr<std::uint8_t[]> output_;
};

}  // namespace reelcast::media
