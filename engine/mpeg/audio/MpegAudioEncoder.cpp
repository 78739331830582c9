#include "engine/mpeg/audio/MpegAudioEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "engine/mpeg/audio/Layer2BitRates.h"
#include "engine/mpeg/mux/IMpegMultiplexer.h"
#include "engine/mpeg/mux/TimeBase.h"

namespace reelcast::mpeg {

namespace {

using audio::kAllocTables;
using audio::kQuantClasses;
using audio::kQuantSnr;
using audio::kScaleFactors;

using audio::kLayer2BitRatesKbps;

// Scale factors transmitted per SCFSI value.
constexpr int kScfCount[4] = {3, 2, 1, 2};

// 1 / scale factor, for normalising samples before quantisation.
struct InverseScaleFactors {
    float v[64];
    InverseScaleFactors() {
        for (int j = 0; j < 63; ++j) v[j] = static_cast<float>(1.0 / kScaleFactors[j]);
        v[63] = 0.0f;
    }
};
const InverseScaleFactors kInvScf;

}  // namespace

MpegAudioEncoder::MpegAudioEncoder() {
    std::memset(pcm_, 0, sizeof(pcm_));
    std::memset(sb_, 0, sizeof(sb_));
    std::memset(scf_, 0, sizeof(scf_));
    std::memset(scfsi_, 0, sizeof(scfsi_));
    std::memset(alloc_, 0, sizeof(alloc_));
    std::memset(smr_, 0, sizeof(smr_));
}

MpegAudioEncoder::~MpegAudioEncoder() = default;

bool MpegAudioEncoder::Init() {
    mux_ = nullptr;
    return true;
}

void MpegAudioEncoder::SetMultiplexer(IMpegMultiplexer* mux) { mux_ = mux; }

void MpegAudioEncoder::SetSampleRate(std::uint32_t hz) { sampleRate_ = static_cast<std::int32_t>(hz); }

void MpegAudioEncoder::SetParameters(std::uint32_t bitrateIndex, double videoFrameRate) {
    bitrateIndex_ = static_cast<std::int32_t>(bitrateIndex);
    videoFrameRate_ = videoFrameRate;
}

void MpegAudioEncoder::ChooseAllocTable() {
    const int perChannel = kLayer2BitRatesKbps[bitrateIndex_] / 2;
    int t;
    if ((sampleRate_ == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80))
        t = 0;
    else if (sampleRate_ != 48000 && perChannel >= 96)
        t = 1;
    else if (sampleRate_ == 32000)
        t = 3;
    else if (perChannel <= 48)
        t = 2;
    else
        t = 3;
    tableNumber_ = t;
    table_ = &kAllocTables[t];
    sblimit_ = table_->sblimit;
}

bool MpegAudioEncoder::Start() {
    started_ = false;
    switch (sampleRate_) {
        case 44100: samplingCode_ = 0; break;
        case 48000: samplingCode_ = 1; break;
        case 32000: samplingCode_ = 2; break;
        default: return false;
    }
    // Index 0 (free format) and 15 (forbidden) give no frame size.
    if (bitrateIndex_ < 1 || bitrateIndex_ > 14) return false;
    if (!output_) {
        output_.reset(new (std::nothrow) std::uint8_t[BitWriter::kBufferSize]);
        if (!output_) return false;
    }
    writer_.buffer = output_.get();
    writer_.Reset();
    padding_ = 0;
    frameCounter_ = 0;
    lastFrameBits_ = 0;
    bitsBeforeFrame_ = 0.0;
    filterbank_.Reset();
    if (!psycho_.Setup(sampleRate_)) return false;
    ChooseAllocTable();

    const double slots = (1152.0 / (sampleRate_ * 0.001)) * (kLayer2BitRatesKbps[bitrateIndex_] / 8.0);
    wholeSlots_ = static_cast<std::int32_t>(slots);
    fracSlots_ = slots - wholeSlots_;
    slotLag_ = -fracSlots_;
    started_ = true;
    return true;
}

void MpegAudioEncoder::Stop() {
    // Frames end on byte boundaries, but the writer stores whole 32-bit words, so
    // up to three bytes of the last frame would otherwise never reach the buffer
    // and the multiplexer could not finish that frame.
    if (!started_ || !writer_.buffer || writer_.overflow) return;
    const int bytes = writer_.pendingBits / 8;
    for (int i = 0; i < bytes && writer_.writeIndex < BitWriter::kBufferSize; ++i)
        writer_.buffer[writer_.writeIndex++] = static_cast<std::uint8_t>(writer_.accumulator >> (24 - 8 * i));
    writer_.accumulator = 0;
    writer_.pendingBits = 0;
}

std::int32_t MpegAudioEncoder::ReadStream(std::uint8_t* dst, std::int32_t max) { return writer_.Drain(dst, max); }

void MpegAudioEncoder::FreeStream() {
    output_.reset();
    writer_.buffer = nullptr;
    writer_.Reset();
    started_ = false;
}

bool MpegAudioEncoder::PutSamples(const SampleBlock* block, bool* keepGoing) {
    if (fifoPending_ > kMaxPendingSamples) return false;
    if (!block) return false;
    const std::int64_t count = block->count;
    if (count > 0 && !block->data) return false;
    if (count > kMaxPendingSamples + kFrameSamples) return false;  // no picture carries this much sound
    const std::int32_t n = static_cast<std::int32_t>(count);

    if (n > 0) {
        const std::int64_t capacitySamples = fifoCapacityBytes_ / 2;
        if (static_cast<std::int64_t>(fifoCursor_) + fifoPending_ + n > capacitySamples) {
            std::int64_t cap = fifoPending_ > 0 ? fifoPending_ : fifoPending_ + n;
            while (cap < static_cast<std::int64_t>(fifoPending_) + n) cap *= 2;
            std::unique_ptr<std::int16_t[]> fresh(new (std::nothrow) std::int16_t[static_cast<std::size_t>(cap)]);
            if (!fresh) return false;
            if (fifoPending_ > 0)
                std::memcpy(fresh.get(), fifo_.get() + fifoCursor_, static_cast<std::size_t>(fifoPending_) * 2);
            fifo_ = std::move(fresh);
            fifoCapacityBytes_ = static_cast<std::int32_t>(cap * 2);
            fifoCursor_ = 0;
        }
        std::memcpy(fifo_.get() + fifoCursor_ + fifoPending_, block->data, static_cast<std::size_t>(n) * 2);
        fifoPending_ += n;
    }

    bool localFlag = true;
    bool* going = keepGoing ? keepGoing : &localFlag;
    if (fifoPending_ >= kFrameSamples + 1) {
        while (*going && fifoPending_ > kFrameSamples) *going = EncodeAudioFrame();
    }
    return true;
}

bool MpegAudioEncoder::EncodeAudioFrame() {
    if (!started_ || fifoPending_ < kFrameSamples || !writer_.buffer) return false;

    const std::int16_t* src = fifo_.get() + fifoCursor_;
    for (int i = 0; i < 1152; ++i) {
        pcm_[0][i] = src[2 * i];
        pcm_[1][i] = src[2 * i + 1];
    }
    fifoCursor_ += kFrameSamples;
    fifoPending_ -= kFrameSamples;
    if (fifoPending_ == 0) fifoCursor_ = 0;

    if (writer_.overflow) return false;

    AudioUnit unit{};
    if (mux_) mux_->MakeTimecode(static_cast<double>(FrameTime()), &unit.pts);

    ++frameCounter_;
    if (fracSlots_ != 0.0) {
        if (slotLag_ > fracSlots_ - 1.0) {
            slotLag_ -= fracSlots_;
            padding_ = 0;
        } else {
            slotLag_ += 1.0 - fracSlots_;
            padding_ = 1;
        }
    } else {
        padding_ = 0;
    }
    CodeFrame((wholeSlots_ + padding_) * 8);

    const double total = static_cast<double>(writer_.totalBits);
    lastFrameBits_ = static_cast<std::int32_t>(total - bitsBeforeFrame_);
    bitsBeforeFrame_ += lastFrameBits_;
    unit.length = static_cast<std::uint32_t>(std::ceil(lastFrameBits_ * 0.125));
    if (!mux_) return true;  // nothing to announce to; the bytes stay readable
    return mux_->AddAudioUnit(&unit);
}

// A decoder's filter banks put out each sample kFilterBankDelay samples after
// it came in, so a frame is stamped that much earlier than its first input
// sample: the sound then plays in step with the pictures. Sound starts with the
// first picture, one picture period after zero.
mux::Ticks MpegAudioEncoder::FrameTime() const {
    const std::int64_t rate = sampleRate_ > 0 ? sampleRate_ : 44100;
    const mux::Ticks start = videoFrameRate_ > 0.0 ? mux::PictureTicks(1, mux::ExactPictureRate(videoFrameRate_)) : 0;
    const std::int64_t sample = static_cast<std::int64_t>(frameCounter_) * kFrameSamples / 2 - kFilterBankDelay;
    const std::int64_t exact = start * rate + sample * mux::kTicksPerSecond;  // in 1/rate ticks
    return exact > 0 ? mux::DivRound(exact, rate) : 0;
}

void MpegAudioEncoder::CodeFrame(int budgetBits) {
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < 1152; ++i) scaled_[i] = pcm_[ch][i] * (1.0f / 32768.0f);
        filterbank_.Process(ch, scaled_, sb_[ch]);
    }
    ComputeScaleFactors();
    for (int ch = 0; ch < 2; ++ch) psycho_.Analyse(ch, pcm_[ch], smr_[ch]);
    ChooseScfsi();
    WriteFrame(budgetBits);
}

void MpegAudioEncoder::ComputeScaleFactors() {
    for (int ch = 0; ch < 2; ++ch) {
        for (int part = 0; part < 3; ++part) {
            float peak[32] = {};
            for (int j = 0; j < 12; ++j) {
                const float* s = sb_[ch][part * 12 + j];
                for (int sb = 0; sb < 32; ++sb) peak[sb] = std::max(peak[sb], std::fabs(s[sb]));
            }
            for (int sb = 0; sb < sblimit_; ++sb) {
                // Largest index whose scale factor 2^(1 - j/3) still exceeds the
                // peak: estimated from the logarithm, settled on the table.
                const double p = peak[sb];
                int j = 62;
                if (p > 0.0) {
                    j = static_cast<int>(std::ceil(3.0 * (1.0 - std::log2(p)))) - 1;
                    j = std::clamp(j, 0, 62);
                    while (j < 62 && kScaleFactors[j + 1] > p) ++j;
                    while (j > 0 && !(kScaleFactors[j] > p)) --j;
                }
                scf_[ch][part][sb] = j;
            }
            for (int sb = sblimit_; sb < 32; ++sb) scf_[ch][part][sb] = 63;
        }
    }
}

void MpegAudioEncoder::ChooseScfsi() {
    // Transmission patterns by the classes of the two differences between the
    // three scale-factor indices (Annex C). Each pattern names which part's
    // index is sent for parts 1, 2 and 3; 4 stands for the smaller of the first
    // and third index, used for all three.
    static constexpr int kPattern[5][5] = {{0x123, 0x122, 0x122, 0x133, 0x123},
                                           {0x113, 0x111, 0x111, 0x444, 0x113},
                                           {0x111, 0x111, 0x111, 0x333, 0x113},
                                           {0x222, 0x222, 0x222, 0x333, 0x123},
                                           {0x123, 0x122, 0x122, 0x133, 0x123}};
    auto classOf = [](int d) {
        if (d <= -3) return 0;
        if (d < 0) return 1;
        if (d == 0) return 2;
        if (d < 3) return 3;
        return 4;
    };
    for (int ch = 0; ch < 2; ++ch) {
        for (int sb = 0; sb < sblimit_; ++sb) {
            int& s0 = scf_[ch][0][sb];
            int& s1 = scf_[ch][1][sb];
            int& s2 = scf_[ch][2][sb];
            const int c0 = classOf(s0 - s1);
            const int c1 = classOf(s1 - s2);
            switch (kPattern[c0][c1]) {
                case 0x123: scfsi_[ch][sb] = 0; break;
                case 0x122: scfsi_[ch][sb] = 3; s2 = s1; break;
                case 0x133: scfsi_[ch][sb] = 3; s1 = s2; break;
                case 0x113: scfsi_[ch][sb] = 1; s1 = s0; break;
                case 0x111: scfsi_[ch][sb] = 2; s1 = s2 = s0; break;
                case 0x222: scfsi_[ch][sb] = 2; s0 = s2 = s1; break;
                case 0x333: scfsi_[ch][sb] = 2; s0 = s1 = s2; break;
                case 0x444:
                    scfsi_[ch][sb] = 2;
                    if (s0 > s2) s0 = s2;
                    s1 = s2 = s0;
                    break;
                default: break;
            }
        }
        for (int sb = sblimit_; sb < 32; ++sb) scfsi_[ch][sb] = 0;
    }
}

int MpegAudioEncoder::AllocateBits(int available) {
    const audio::AllocTable& tab = *table_;
    // Mask-to-noise ratios by subband and channel in one run (index 2 sb + ch),
    // so that the first minimum is the lowest subband, then the lowest channel.
    // A subband and channel that can take no more steps reads +infinity.
    constexpr float kDone = std::numeric_limits<float>::infinity();
    alignas(32) float mnr[64];
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < 2; ++ch) {
            alloc_[ch][sb] = 0;
            mnr[2 * sb + ch] = sb < sblimit_ ? kQuantSnr[0] - smr_[ch][sb] : kDone;
        }
    }
    // A tournament tree over the 64 entries finds the first minimum: node n holds
    // the winning index of its two children, leaves are 64 + index, and on a tie
    // the left (lower) index wins.
    std::uint8_t win[64];
    auto better = [&mnr](int l, int r) { return mnr[r] < mnr[l] ? r : l; };
    for (int n = 63; n >= 32; --n) win[n] = static_cast<std::uint8_t>(better(2 * n - 64, 2 * n + 1 - 64));
    for (int n = 31; n >= 1; --n) win[n] = static_cast<std::uint8_t>(better(win[2 * n], win[2 * n + 1]));
    auto replay = [&](int at) {
        int n = (64 + at) >> 1;
        win[n] = static_cast<std::uint8_t>(better(2 * n - 64, 2 * n + 1 - 64));
        for (n >>= 1; n >= 1; n >>= 1) win[n] = static_cast<std::uint8_t>(better(win[2 * n], win[2 * n + 1]));
    };
    int used = 0;
    for (;;) {
        const int at = win[1];
        if (mnr[at] == kDone) break;
        const int sb = at >> 1, ch = at & 1;
        const int cur = alloc_[ch][sb];
        const audio::QuantClass& next = kQuantClasses[tab.quant[sb][cur + 1]];
        int increment = 12 * next.codeWords * next.bits;
        if (cur > 0) {
            const audio::QuantClass& now = kQuantClasses[tab.quant[sb][cur]];
            increment -= 12 * now.codeWords * now.bits;
        } else {
            increment += 2 + 6 * kScfCount[scfsi_[ch][sb]];  // SCFSI and scale factors
        }
        if (used + increment <= available) {
            const int ba = cur + 1;
            alloc_[ch][sb] = ba;
            used += increment;
            mnr[at] = ba >= (1 << tab.nbal[sb]) - 1 ? kDone : kQuantSnr[tab.quant[sb][ba] + 1] - smr_[ch][sb];
        } else {
            mnr[at] = kDone;
        }
        replay(at);
    }
    return used;
}

void MpegAudioEncoder::WriteFrame(int budgetBits) {
    const audio::AllocTable& tab = *table_;
    int allocBits = 0;
    for (int sb = 0; sb < sblimit_; ++sb) allocBits += 2 * tab.nbal[sb];
    AllocateBits(budgetBits - 32 - allocBits);

    BitWriter& w = writer_;
    const std::uint64_t startBits = w.totalBits;
    // Header: syncword, ID 1, layer II, no CRC, bit rate, sampling rate, padding,
    // private 0, stereo, mode extension 0, copyright 0, copy 0, emphasis none.
    w.PutBits(0xFFFu, 12);
    w.PutBits(1u, 1);
    w.PutBits(2u, 2);
    w.PutBits(1u, 1);
    w.PutBits(static_cast<std::uint32_t>(bitrateIndex_), 4);
    w.PutBits(static_cast<std::uint32_t>(samplingCode_), 2);
    w.PutBits(static_cast<std::uint32_t>(padding_), 1);
    w.PutBits(0u, 1);
    w.PutBits(0u, 2);
    w.PutBits(0u, 2);
    w.PutBits(0u, 4);

    for (int sb = 0; sb < sblimit_; ++sb)
        for (int ch = 0; ch < 2; ++ch) w.PutBits(static_cast<std::uint32_t>(alloc_[ch][sb]), tab.nbal[sb]);
    for (int sb = 0; sb < sblimit_; ++sb)
        for (int ch = 0; ch < 2; ++ch)
            if (alloc_[ch][sb]) w.PutBits(static_cast<std::uint32_t>(scfsi_[ch][sb]), 2);
    for (int sb = 0; sb < sblimit_; ++sb) {
        for (int ch = 0; ch < 2; ++ch) {
            if (!alloc_[ch][sb]) continue;
            const std::uint32_t a = static_cast<std::uint32_t>(scf_[ch][0][sb]);
            const std::uint32_t b = static_cast<std::uint32_t>(scf_[ch][1][sb]);
            const std::uint32_t c = static_cast<std::uint32_t>(scf_[ch][2][sb]);
            switch (scfsi_[ch][sb]) {
                case 0: w.PutBits(a, 6); w.PutBits(b, 6); w.PutBits(c, 6); break;
                case 1: w.PutBits(a, 6); w.PutBits(c, 6); break;
                case 2: w.PutBits(a, 6); break;
                default: w.PutBits(a, 6); w.PutBits(b, 6); break;
            }
        }
    }

    for (int gr = 0; gr < 12; ++gr) {
        const int part = gr >> 2;
        for (int sb = 0; sb < sblimit_; ++sb) {
            for (int ch = 0; ch < 2; ++ch) {
                const int ba = alloc_[ch][sb];
                if (!ba) continue;
                const audio::QuantClass& q = kQuantClasses[tab.quant[sb][ba]];
                const float inv = kInvScf.v[scf_[ch][part][sb]];
                const float half = static_cast<float>(1 << (q.n - 1));
                const std::uint32_t msb = 1u << (q.n - 1);
                std::uint32_t code[3];
                for (int k = 0; k < 3; ++k) {
                    const float v = sb_[ch][3 * gr + k][sb] * inv * q.a + q.b;
                    code[k] = v >= 0.0f ? (msb | static_cast<std::uint32_t>(v * half))
                                        : static_cast<std::uint32_t>((v + 1.0f) * half);
                }
                if (q.codeWords == 1) {
                    const std::uint32_t st = static_cast<std::uint32_t>(q.steps);
                    w.PutBits(code[0] + st * (code[1] + st * code[2]), q.bits);
                } else {
                    w.PutBits(code[0], q.bits);
                    w.PutBits(code[1], q.bits);
                    w.PutBits(code[2], q.bits);
                }
            }
        }
    }

    // Ancillary bits: zeros up to the frame's budget.
    int left = budgetBits - static_cast<int>(w.totalBits - startBits);
    while (left > 0) {
        const int n = left > 32 ? 32 : left;
        w.PutBits(0u, n);
        left -= n;
    }
}

}  // namespace reelcast::mpeg

REELCAST_EXPORT_COMPONENT(MPGLIB_AUDIO, reelcast::mpeg::MpegAudioEncoder)
