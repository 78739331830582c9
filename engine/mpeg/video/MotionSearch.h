// Motion estimation for P and B pictures: a coarse spiral search on pictures
// reduced four times in each direction, a short full-pel spiral around its
// result at full resolution, and a half-pel refinement; then the choice
// between intra coding, motion-compensated prediction and (P pictures)
// prediction without motion, and the f_code values that cover the vectors.
//
// Per macroblock the work depends only on whole pictures prepared beforehand,
// so SearchRows can run on disjoint row ranges in parallel with identical
// results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/mpeg/video/CodingTypes.h"
#include "engine/mpeg/video/kernels/Kernels.h"

namespace reelcast::mpeg::video {

class MotionSearch {
public:
    static constexpr int kForwardRadius = 14;   // coarse search, quarter-picture samples
    static constexpr int kBackwardRadius = 10;
    static constexpr int kFineRings = 4;        // full-pel rings around the coarse result
    static constexpr int kFineWindow = 62;      // pixels either side of the macroblock

    // Coarse candidate sums: a table row holds the columns x0 - kCoarseCentre
    // ... x0 + kCoarseCentre - 1, formed sixteen at a time; the first rings
    // need only the sixteen around the centre (x0 - 8 ... x0 + 7).
    static constexpr int kCoarseCentre = 16;
    static constexpr int kCoarseColumns = 2 * kCoarseCentre;
    static constexpr int kCoarseNarrowRings = 7;
    static_assert(kCoarseCentre >= kForwardRadius && kCoarseCentre + kForwardRadius < kCoarseColumns);
    static_assert(kBackwardRadius <= kForwardRadius);  // one table size serves both
    static_assert(kBackwardRadius > kCoarseNarrowRings);
    // Margins of the quarter pictures: a segment may begin kCoarseCentre
    // columns left of the picture and read 24 bytes of each row, up to about
    // 24 bytes past the picture's last sample.
    static constexpr std::size_t kQuarterFront = 32;
    static constexpr std::size_t kQuarterBack = 64;
    static_assert(kCoarseCentre <= static_cast<int>(kQuarterFront));

    // Quarter pictures for the coded luma size. False when memory is short.
    bool Allocate(const Geometry& geo);
    void Free();
    // Stream start: the running vector maxima return to 0.
    void ResetMaxima();

    // Builds the quarter picture of the source luma and its detail level; for I
    // and P pictures the quarter references move on (the current picture
    // becomes the new reference).
    void PreparePicture(const std::uint8_t* srcY, int type, const kernels::VideoKernels& k);

    struct Pictures {
        const std::uint8_t* cur = nullptr;        // source luma being coded
        const std::uint8_t* oldSrc = nullptr;     // forward reference, source
        const std::uint8_t* newSrc = nullptr;     // backward reference, source
        const std::uint8_t* oldRec = nullptr;     // forward reference, reconstructed
        const std::uint8_t* newRec = nullptr;     // backward reference, reconstructed
    };
    // Searches macroblock rows [row0, row1) of a P or B picture and decides each
    // macroblock: mbType (kMbIntra, kMbForward, kMbBackward or 0 for a P
    // macroblock predicted without motion), mv, variance and bestError. With
    // Variances::Known the rows' variances are already in mbInfo.
    enum class Variances { Compute, Known };
    void SearchRows(int type, const Pictures& pics, int row0, int row1, MacroblockInfo* mbInfo,
                    const kernels::VideoKernels& k, Variances variances = Variances::Compute);
    // I pictures: every macroblock intra.
    void MarkIntra(MacroblockInfo* mbInfo) const;

    // After the search of a P or B picture: raises the running maxima to the
    // vectors found and derives the f_code values (forward h, v, backward h, v).
    // MPEG-1 syntax uses the larger of each direction's pair for both.
    void AdaptFCodes(int type, bool mpeg1, int fCode[4]);

    int DetailLevel() const { return detail_; }
    int MaxVector(int i) const { return maxima_[i]; }
    // The vector the last search found for macroblock i (dir 0 forward, 1
    // backward), in half pels relative to the macroblock, whatever was chosen.
    void FoundVector(int dir, int i, int* x, int* y) const {
        const Vec& v = found_[dir][static_cast<std::size_t>(i)];
        *x = v.x;
        *y = v.y;
    }

private:
    struct Vec {
        int x = 0;
        int y = 0;
    };
    // Both also answer the whole sum at the position found.
    Vec CoarseSearch(const std::uint8_t* ref, const std::uint8_t* cur, int x0, int y0, int radius,
                     const kernels::VideoKernels& k, int* bestSad) const;
    // coarseSad: the coarse search's sum at start / 4.
    Vec FullPelSearch(const std::uint8_t* ref, const std::uint8_t* cur, int mbx, int mby, Vec start, int coarseSad,
                      const kernels::VideoKernels& k, int* bestSad) const;
    Vec HalfPelSearch(const std::uint8_t* ref, const std::uint8_t* cur, int mbx, int mby, Vec full,
                      int fullSad, const kernels::VideoKernels& k) const;


    Geometry geo_;
    int qw_ = 0;
    int qh_ = 0;
    std::vector<std::uint8_t> quarter_[3];  // current, new reference, old reference, with margins
    std::uint8_t* qCur_ = nullptr;
    std::uint8_t* qNew_ = nullptr;
    std::uint8_t* qOld_ = nullptr;
    int detail_ = 1;
    int maxima_[4] = {};                    // full pels: forward h, v, backward h, v
    std::vector<Vec> found_[2];             // searched vectors per macroblock, half-pel
};

// f_code that covers a largest vector magnitude of m full pels.
int FCodeFor(int m);

}  // namespace reelcast::mpeg::video
