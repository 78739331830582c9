#include "engine/mpeg/video/RateControl.h"

#include <cmath>

namespace reelcast::mpeg::video {
namespace {

// Finest quantisers of a capped rate, intra and predicted pictures: below them
// a still or simple scene only refines its noise, picture after picture.
constexpr int kCappedFloorIntra = 4;
constexpr int kCappedFloorPredicted = 6;

// vbv_delay of a stream without a constant rate.
constexpr int kVariableRateVbvDelay = 0xFFFF;

int RoundToInt(double v) { return static_cast<int>(std::floor(v + 0.5)); }

// Variance of one 8x8 block from its sums, in double precision.
double BlockVariance(std::int32_t sum, std::int32_t sumSquares) {
    const double mean = sum / 64.0;
    return sumSquares / 64.0 - mean * mean;
}

}  // namespace

void ComputeActivities(const std::uint8_t* luma, int stride, const Geometry& geo, bool progressiveSequence, int my,
                       MacroblockInfo* mbInfo, const kernels::VideoKernels& k) {
    std::int32_t sum[8], sq[8];
    const int blocks = progressiveSequence ? 4 : 8;
    for (int mx = 0; mx < geo.mbWidth; ++mx) {
        // Frame blocks, then (interlaced) each field's 8 lines, left and right halves.
        k.BlockSums16(luma + my * 16 * stride + mx * 16, stride, sum, sq);
        double best = BlockVariance(sum[0], sq[0]);
        for (int b = 1; b < blocks; ++b) {
            const double v = BlockVariance(sum[b], sq[b]);
            if (v < best) best = v;
        }
        MacroblockInfo& mb = mbInfo[my * geo.mbWidth + mx];
        mb.activity = 1.0 + best;
        // The frame blocks cover the macroblock: its variance comes free.
        const auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
        mb.variance = kernels::VarianceOfSums(u(sum[0]) + u(sum[1]) + u(sum[2]) + u(sum[3]),
                                              u(sq[0]) + u(sq[1]) + u(sq[2]) + u(sq[3]));
    }
}

void RateControl::StartSequence(double bitRate, double frameRate, int mbCount, int vbvBufferSize,
                                bool mpeg2, bool progressiveSequence) {
    bitRate_ = bitRate > 0.0 ? bitRate : 1.0;
    frameRate_ = frameRate > 0.0 ? frameRate : 25.0;
    mbCount_ = mbCount > 0 ? mbCount : 1;
    vbvBufferSize_ = vbvBufferSize;
    mpeg2_ = mpeg2;
    progressive_ = progressiveSequence;

    r_ = 0.0;
    d_ = 0.0;
    vbvEnd_ = 0.0;
    nextIpDelay_ = 0.0;
    decodingTime_ = 0.0;
    counts_ = VbvCounts{};
    capped_ = false;
    stuffLow_ = 0.30;
    stuffHigh_ = 0.90;

    reaction_ = RoundToInt(2.0 * bitRate_ / frameRate_);
    if (reaction_ < 1) reaction_ = 1;
    if (avgActivity_ == 0.0) avgActivity_ = 400.0;
    xi_ = RoundToInt(bitRate_ * 160.0 / 115.0);
    xp_ = RoundToInt(bitRate_ * 60.0 / 115.0);
    xb_ = RoundToInt(bitRate_ * 42.0 / 115.0);
    d0i_ = d0p_ = RoundToInt(reaction_ * 10.0 / 31.0);
    d0b_ = RoundToInt(reaction_ * 14.0 / 31.0);
}

void RateControl::StartGroup(int np, int nb) {
    if (capped_ && r_ > 0.0) r_ = 0.0;  // no credit from easier groups
    r_ += std::floor((np + nb + 1) * bitRate_ / frameRate_ + 0.5);
    np_ = np;
    nb_ = nb;
    d0p_ = 0;
    d0b_ = 0;
}

int RateControl::StartPicture(int type, double bitCount) {
    type_ = type;
    // Complexities of zero (a picture of no bits) would divide by zero below.
    const double xi = xi_ > 0 ? xi_ : 1;
    const double xp = xp_ > 0 ? xp_ : 1;
    const double xb = xb_ > 0 ? xb_ : 1;
    double t;
    switch (type) {
    case kPictureI:
        t = std::floor(r_ / (1.0 + np_ * xp / xi + nb_ * xb / (xi * 1.4)) + 0.5);
        d_ = d0i_;
        break;
    case kPictureP: {
        const double den = np_ + nb_ * xb / (xp * 1.4);
        t = std::floor(r_ / (den > 0.0 ? den : 1.0) + 0.5);
        d_ = d0p_;
        break;
    }
    default: {
        const double den = nb_ + np_ * xp * 1.4 / xb;
        t = std::floor(r_ / (den > 0.0 ? den : 1.0) + 0.5);
        d_ = d0b_;
        break;
    }
    }
    const double floorT = std::floor(bitRate_ / (8.0 * frameRate_) + 0.5);
    if (t < floorT) t = floorT;
    t_ = t;
    s0_ = bitCount;
    actSum_ = 0.0;
    qSum_ = 0.0;

    int q = RoundToInt(d_ * 31.0 / reaction_) * 2;
    if (q < QuantiserFloor()) q = QuantiserFloor();
    if (q > 62) q = 62;
    firstQ_ = q;
    return q;
}

int RateControl::MacroblockQuantiser(int j, double bitCount, double activity) {
    const double dj = d_ + (bitCount - s0_) - t_ * j / mbCount_;
    const double qj = dj * 31.0 / reaction_;
    const double a = activity;
    const double avg = avgActivity_;
    const double nact = (2.0 * a + avg) / (a + 2.0 * avg);
    actSum_ += a;
    double scaled = std::floor(qj * nact + 0.5) * 2.0;
    int q;
    if (scaled < QuantiserFloor()) {
        q = QuantiserFloor();
    } else if (scaled > 62.0) {
        q = 62;
    } else {
        q = static_cast<int>(scaled);
    }
    if (q >= 8 && (q - firstQ_ <= 4 && firstQ_ - q <= 4)) q = firstQ_;
    qSum_ += q;
    return q;
}

void RateControl::EndPicture(BitWriter& bw) {
    double s = static_cast<double>(bw.totalBits) - s0_;
    if (!capped_ && t_ > 0.0 && s / t_ < stuffLow_) {
        const double pad = std::floor(stuffHigh_ * t_ - s);
        if (pad > 0.0) {
            const long long words = static_cast<long long>(pad) / 32;
            for (long long i = 0; i < words; ++i) bw.PutBits(0, 32);
        }
        bw.AlignToByte();
        s = static_cast<double>(bw.totalBits) - s0_;
    }
    r_ -= s;
    const int x = RoundToInt(qSum_ * 0.5 / mbCount_ * s);
    d_ += s - t_;
    if (capped_ && d_ < 0.0) d_ = 0.0;
    avgActivity_ = actSum_ / mbCount_;
    const int d = static_cast<int>(d_);
    switch (type_) {
    case kPictureI:
        xi_ = x;
        d0i_ = d;
        break;
    case kPictureP:
        xp_ = x;
        d0p_ = d;
        --np_;
        break;
    default:
        xb_ = x;
        d0b_ = d;
        --nb_;
        break;
    }
}

int RateControl::QuantiserFloor() const {
    if (!capped_) return 2;
    return type_ == kPictureI ? kCappedFloorIntra : kCappedFloorPredicted;
}

int RateControl::VbvDelay(int type, double bitCount) {
    if (capped_) return kVariableRateVbvDelay;
    const double period = 90000.0 / frameRate_;  // frame pictures, no repeated fields
    double delay;
    if (type == kPictureB) {
        delay = period;
    } else {
        // The anchor's delay is the one noted at the previous anchor; with frame
        // pictures every anchor is one picture period after its predecessor.
        delay = nextIpDelay_;
        nextIpDelay_ = period;
    }
    const double ticksPerBit = 90000.0 / bitRate_;
    const double bufferBits = static_cast<double>(vbvBufferSize_) * 16384.0;
    if (decodingTime_ == 0.0) delay = bufferBits * 7.0 / 8.0 * ticksPerBit;
    if (vbvEnd_ * ticksPerBit > decodingTime_ && mpeg2_) ++counts_.underflows;
    decodingTime_ += delay;
    double vbv = std::floor(decodingTime_ - bitCount * ticksPerBit);
    if (decodingTime_ - vbvEnd_ * ticksPerBit > bufferBits * ticksPerBit && mpeg2_) ++counts_.overflows;
    if (vbv < 0.0) {
        vbv = 0.0;
        if (mpeg2_) ++counts_.underflows;
    } else if (vbv > 65535.0) {
        vbv = 65535.0;
        if (mpeg2_) ++counts_.overflows;
    }
    (void)progressive_;
    return static_cast<int>(vbv);
}

void RateControl::EndPictureVbv(double bitCount) { vbvEnd_ = std::ceil(bitCount / 8.0) * 8.0; }

}  // namespace reelcast::mpeg::video
