// Stand-in encoders for multiplexer tests: synthetic coded units with
// recognisable bytes, announced to the multiplexer the way the real encoders do,
// and an IStreamSource that hands out their bytes. The newest few bytes of each
// stream stay unreadable until more is written, as with the encoders' 32-bit bit
// accumulators.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "engine/mpeg/mux/IMpegMultiplexer.h"

namespace reelcast::testing {

class StandInSource final : public IStreamSource {
public:
    std::int32_t ReadAudio(std::uint8_t* dest, std::int32_t max) override { return Take(audio, audioHeld, dest, max); }
    std::int32_t ReadVideo(std::uint8_t* dest, std::int32_t max) override { return Take(video, videoHeld, dest, max); }

    std::deque<std::uint8_t> video, audio;  // bytes not read yet
    std::size_t videoHeld = 0, audioHeld = 0;  // newest bytes not readable yet
    std::vector<std::uint8_t> videoAll, audioAll;  // everything written

private:
    static std::int32_t Take(std::deque<std::uint8_t>& q, std::size_t held, std::uint8_t* dest, std::int32_t max) {
        const std::size_t avail = q.size() > held ? q.size() - held : 0;
        const std::size_t n = std::min<std::size_t>(avail, static_cast<std::size_t>(std::max(0, max)));
        std::copy_n(q.begin(), n, dest);
        q.erase(q.begin(), q.begin() + static_cast<std::ptrdiff_t>(n));
        return static_cast<std::int32_t>(n);
    }
};

struct StandInPicture {
    std::int32_t codingIndex, displayIndex;
    std::uint32_t type;  // 1 I, 2 P, 3 B
    std::size_t offset, length;  // in the video byte stream
};

struct StandInAudioFrame {
    std::size_t offset, length;
    double ticks;  // 27 MHz time given to MakeTimecode
};

// Drives a multiplexer like the encoder front: per picture the audio frames that
// belong to it, then the coded pictures in groups of three, then Multiplex.
class StandInEncoders {
public:
    StandInEncoders(IMpegMultiplexer* mux, StandInSource* src, double fps, int sampleRate, int audioKbps,
                    bool svcdUserData)
        : mux_(mux), src_(src), fps_(fps), sampleRate_(sampleRate), audioKbps_(audioKbps),
          userData_(svcdUserData) {}

    // Picture sizes in bytes by type.
    std::size_t iBytes = 12000, pBytes = 5000, bBytes = 2500;
    std::vector<StandInPicture> pictures;
    std::vector<StandInAudioFrame> audioFrames;
    bool multiplexOk = true;

    void SubmitPictures(int count) {
        for (int k = 0; k < count; ++k) {
            // Audio that belongs to this picture, coded in whole 1152-sample frames.
            samplesIn_ += sampleRate_ / fps_;
            while (samplesIn_ - samplesCoded_ > 1152.0) {
                AddAudioFrame();
                samplesCoded_ += 1152.0;
            }
            const int index = submitted_++;
            if (index == 0 || index % 3 == 0) {
                const int todo = index == 0 ? 1 : 3;
                for (int j = 0; j < todo; ++j) CodeNextPicture();
            }
            if (!mux_->Multiplex()) multiplexOk = false;
        }
    }

    // What the video encoder's Stop adds: the sequence end code, and every byte
    // reaches the buffer.
    void Stop() {
        const std::uint8_t end[4] = {0, 0, 1, 0xB7};
        Append(src_->video, src_->videoAll, end, 4);
        src_->videoHeld = 0;
        src_->audioHeld = 0;
    }

private:
    void Append(std::deque<std::uint8_t>& q, std::vector<std::uint8_t>& all, const std::uint8_t* p, std::size_t n) {
        q.insert(q.end(), p, p + n);
        all.insert(all.end(), p, p + n);
    }

    void AddAudioFrame() {
        // 1152 samples at the bit rate, padded like Layer II.
        const double slots = 1152.0 / (sampleRate_ * 0.001) * (audioKbps_ / 8.0);
        const std::size_t whole = static_cast<std::size_t>(slots);
        const double frac = slots - static_cast<double>(whole);
        std::size_t len = whole;
        if (frac > 0) {
            if (lag_ > frac - 1) {
                lag_ -= frac;
            } else {
                lag_ += 1 - frac;
                len += 1;
            }
        }
        std::vector<std::uint8_t> f(len);
        f[0] = 0xFF;
        f[1] = 0xFD;
        for (std::size_t i = 2; i < len; ++i) f[i] = static_cast<std::uint8_t>(0x80 + ((audioFrames.size() + i) % 64));
        StandInAudioFrame af{src_->audioAll.size(), len, 0};
        af.ticks = audioFrames.size() * 1152.0 / (sampleRate_ * 0.001) * 27000.0 + 27000000.0 / fps_;
        Append(src_->audio, src_->audioAll, f.data(), len);
        src_->audioHeld = len % 4;
        audioFrames.push_back(af);
        AudioUnit u{static_cast<std::uint32_t>(len), {}};
        mux_->MakeTimecode(af.ticks, &u.pts);
        mux_->AddAudioUnit(&u);
    }

    void CodeNextPicture() {
        const int p = coded_++;
        std::uint32_t type;
        int display;
        const int g = std::max(0, ((p + 2) / 15) * 15 - 2);
        if (p == 0 || (p - 1) % 3 == 0) {
            type = p == g ? 1 : 2;
            display = p == 0 ? 0 : p + 2;
        } else {
            type = 3;
            display = p - 1;
        }
        const std::size_t len = type == 1 ? iBytes : type == 2 ? pBytes : bBytes;
        std::vector<std::uint8_t> pic(len, 0x55);
        std::size_t at = 0;
        auto code = [&](std::uint8_t c) {
            pic[at] = 0;
            pic[at + 1] = 0;
            pic[at + 2] = 1;
            pic[at + 3] = c;
            at += 4;
        };
        if (type == 1) {
            code(0xB3);
            at += 8;
            code(0xB8);
            at += 4;
        }
        code(0x00);
        pic[at++] = static_cast<std::uint8_t>(display);
        pic[at++] = static_cast<std::uint8_t>(type << 3);
        at += 2;
        if (type == 1 && userData_) {
            code(0xB2);
            pic[at++] = 0x10;
            pic[at++] = 0x0E;
            for (int k = 0; k < 4; ++k) {
                pic[at++] = 0x00;
                pic[at++] = 0x80;
                pic[at++] = 0x80;
            }
        }
        for (std::size_t i = at; i < len; ++i) pic[i] = static_cast<std::uint8_t>(0x20 + ((i + p) % 90));
        StandInPicture sp{p, display, type, src_->videoAll.size(), len};
        Append(src_->video, src_->videoAll, pic.data(), len);
        src_->videoHeld = 3;
        pictures.push_back(sp);
        VideoUnit u{static_cast<std::uint32_t>(len), type, {}, {}};
        mux_->AddVideoPicture(p, display, fps_, 0.03336666666666667, 1.5 * 0.03336666666666667, &u);
    }

    IMpegMultiplexer* mux_;
    StandInSource* src_;
    double fps_;
    int sampleRate_, audioKbps_;
    bool userData_;
    double samplesIn_ = 0, samplesCoded_ = 0, lag_ = -1;
    int submitted_ = 0, coded_ = 0;
};

}  // namespace reelcast::testing
