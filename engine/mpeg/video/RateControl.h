// Constant-bit-rate control in the manner of the MPEG-2 Test Model 5: bits are
// allotted per picture from the group's budget and the complexity of earlier
// pictures of each type, a virtual buffer per picture type steers the
// quantiser macroblock by macroblock, and the spatial activity of each
// macroblock modulates it. Differences from the Test Model: the P and B
// buffers restart empty with every group; a macroblock quantiser within 4 of
// the picture's first one (from 8 up) is replaced by it, which saves
// quantiser changes; a picture that uses under 30 % of its target is padded
// with zero stuffing up to 90 %.
//
// With a capped rate (variable rate up to the nominal one) the same control
// spends at most the nominal rate but never pads: no stuffing, no credit for
// bits a picture or group left unused, and a quantiser floor, so easy pictures
// cost what they need.
//
// Also keeps the VBV model that gives each picture header its vbv_delay and
// counts delay overflows and underflows.
#pragma once

#include <cstdint>

#include "engine/mpeg/BitWriter.h"
#include "engine/mpeg/video/CodingTypes.h"
#include "engine/mpeg/video/kernels/Kernels.h"

namespace reelcast::mpeg::video {

struct VbvCounts {
    int overflows = 0;
    int underflows = 0;
};

class RateControl {
public:
    // Sequence start. bitRate in bit/s; vbvBufferSize in units of 16384 bits.
    void StartSequence(double bitRate, double frameRate, int mbCount, int vbvBufferSize, bool mpeg2,
                       bool progressiveSequence);
    // Variable rate capped at the sequence's nominal rate, or constant (the
    // default). Call after StartSequence.
    void SetCapped(bool capped) { capped_ = capped; }
    bool Capped() const { return capped_; }
    // Before each group's I picture, with the group's P and B picture counts.
    void StartGroup(int np, int nb);
    // Picture start: computes the target and answers the first quantiser
    // (2..62, even). Activities must already be in mbInfo[].activity.
    int StartPicture(int type, double bitCount);
    // Quantiser (2..62, even) for macroblock j, before it is coded.
    int MacroblockQuantiser(int j, double bitCount, double activity);
    // Picture end: stuffing when the picture fell far short of its target, then
    // the complexity and buffer updates.
    void EndPicture(BitWriter& bw);

    // vbv_delay for the picture header about to be written (90 kHz units);
    // also runs the VBV overflow/underflow tests. 0xFFFF with a capped rate.
    int VbvDelay(int type, double bitCount);
    // Records where the picture ended for the VBV model.
    void EndPictureVbv(double bitCount);

    const VbvCounts& Counts() const { return counts_; }

    // Values for tests and diagnostics.
    double RemainingBits() const { return r_; }
    double Target() const { return t_; }
    int ReactionParameter() const { return reaction_; }
    int ComplexityI() const { return xi_; }
    int ComplexityP() const { return xp_; }
    int ComplexityB() const { return xb_; }
    int InitialFullnessI() const { return d0i_; }
    int InitialFullnessP() const { return d0p_; }
    int InitialFullnessB() const { return d0b_; }
    int FirstQuantiser() const { return firstQ_; }
    double AverageActivity() const { return avgActivity_; }

private:
    int QuantiserFloor() const;

    double bitRate_ = 0.0;
    double frameRate_ = 25.0;
    int mbCount_ = 1;
    int vbvBufferSize_ = 0;
    bool mpeg2_ = false;
    bool progressive_ = true;
    bool capped_ = false;
    int type_ = kPictureI;

    double r_ = 0.0;    // bits left in the group
    double t_ = 0.0;    // target of the current picture
    double d_ = 0.0;    // virtual buffer fullness of the current picture
    double actSum_ = 0.0;
    double s0_ = 0.0;   // bit count at picture start
    double qSum_ = 0.0;
    int np_ = 0;
    int nb_ = 0;
    int xi_ = 0, xp_ = 0, xb_ = 0;
    int reaction_ = 1;
    int d0i_ = 0, d0p_ = 0, d0b_ = 0;
    int firstQ_ = 8;
    double avgActivity_ = 0.0;
    double stuffLow_ = 0.30;
    double stuffHigh_ = 0.90;

    double vbvEnd_ = 0.0;       // bits, at the end of the last picture, whole bytes
    double nextIpDelay_ = 0.0;  // 90 kHz
    double decodingTime_ = 0.0; // 90 kHz
    VbvCounts counts_;
};

// Spatial activity of every macroblock of macroblock row `my` of a luma plane:
// 1 + the smallest variance of its four 8x8 frame blocks (and, for interlaced
// sequences, of its four 8x8 field blocks). Writes mbInfo[i].activity, and
// mbInfo[i].variance as MacroblockVariance would.
void ComputeActivities(const std::uint8_t* luma, int stride, const Geometry& geo, bool progressiveSequence, int my,
                       MacroblockInfo* mbInfo, const kernels::VideoKernels& k);

}  // namespace reelcast::mpeg::video
