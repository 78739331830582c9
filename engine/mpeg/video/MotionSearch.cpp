#include "engine/mpeg/video/MotionSearch.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>

namespace reelcast::mpeg::video {
namespace {

constexpr int kNoLimit = 65536;
constexpr int kIntraFloor = 9 * 256;  // errors below this never make a macroblock intra
// A table entry for a candidate outside the search window: above every sum of
// the coarse and the full-pel tables (at most 256 x 255).
constexpr std::uint16_t kOutside = 0xFFFF;
static_assert(256 * 255 < kOutside);

// Every position of rings 1 ... kMaxRing in walk order, as offsets from the
// centre; ring k occupies entries 4k(k - 1) ... 4k(k + 1) - 1.
struct Offset {
    std::int8_t dx;
    std::int8_t dy;
};
constexpr int kMaxRing = MotionSearch::kForwardRadius;
constexpr int RingStart(int k) { return 4 * k * (k - 1); }
constexpr std::array<Offset, RingStart(kMaxRing + 1)> MakeSpiral() {
    std::array<Offset, RingStart(kMaxRing + 1)> a{};
    int n = 0;
    for (int k = 1; k <= kMaxRing; ++k) {
        int x = -k, y = -k;
        for (int i = 0; i < 2 * k; ++i) a[n++] = {static_cast<std::int8_t>(x++), static_cast<std::int8_t>(y)};
        for (int i = 0; i < 2 * k; ++i) a[n++] = {static_cast<std::int8_t>(x), static_cast<std::int8_t>(y++)};
        for (int i = 0; i < 2 * k; ++i) a[n++] = {static_cast<std::int8_t>(x--), static_cast<std::int8_t>(y)};
        for (int i = 0; i < 2 * k; ++i) a[n++] = {static_cast<std::int8_t>(x), static_cast<std::int8_t>(y--)};
    }
    return a;
}
constexpr auto kSpiral = MakeSpiral();
// The same as offsets into a table of candidate sums `columns` wide.
template <int columns>
constexpr std::array<std::int16_t, RingStart(kMaxRing + 1)> MakeLinearSpiral() {
    std::array<std::int16_t, RingStart(kMaxRing + 1)> a{};
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::int16_t>(kSpiral[i].dy * columns + kSpiral[i].dx);
    return a;
}
constexpr int kFineColumns = 16;
constexpr auto kCoarseSpiral = MakeLinearSpiral<MotionSearch::kCoarseColumns>();
constexpr auto kFineSpiral = MakeLinearSpiral<kFineColumns>();

// A walk over ring k of a table of sums (strictly smaller wins) ends at the
// ring's smallest sum, first met in walk order, if that beats the best so far.
// The minimum is found without branches; only an improving ring is walked.
// Answers the walk index of the new best, or -1 when the ring does not improve.
template <int columns>
int ImproveOnRing(const std::uint16_t* centre, int ring, const std::array<std::int16_t, RingStart(kMaxRing + 1)>& spiral,
                  int* best) {
    const int side = 2 * ring;
    const std::uint16_t* topRow = centre - ring * columns - ring;         // x = -k .. k-1
    const std::uint16_t* bottomRow = centre + ring * columns - ring + 1;  // x = -k+1 .. k
    const std::uint16_t* leftCol = centre - (ring - 1) * columns - ring;  // y = -k+1 .. k
    const std::uint16_t* rightCol = centre - ring * columns + ring;       // y = -k .. k-1
    // Eight running minima over the rows (a shape compilers turn into vector code).
    std::uint16_t lanes[8] = {65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535};
    int i = 0;
    for (; i + 8 <= side; i += 8)
        for (int j = 0; j < 8; ++j) {
            const std::uint16_t m = topRow[i + j] < bottomRow[i + j] ? topRow[i + j] : bottomRow[i + j];
            lanes[j] = m < lanes[j] ? m : lanes[j];
        }
    int lowest = 65535;
    for (const std::uint16_t m : lanes) lowest = std::min<int>(lowest, m);
    for (; i < side; ++i) lowest = std::min(lowest, std::min<int>(topRow[i], bottomRow[i]));
    for (i = 0; i < side; ++i) lowest = std::min(lowest, std::min<int>(leftCol[i * columns], rightCol[i * columns]));
    if (lowest >= *best) return -1;
    i = RingStart(ring);
    while (centre[spiral[static_cast<std::size_t>(i)]] != lowest) ++i;
    *best = lowest;
    return i;
}

// The coarse search's window: candidate positions x in xlo..xhi, y in ylo..yhi
// (the centre itself may lie outside; it is always the starting sum).
struct CoarseWindow {
    int xlo, xhi, ylo, yhi;
};

// Candidate sums of the coarse search around (x0, y0), filled ring by ring:
// rows dy = -k and k when ring k is reached, the sixteen middle columns up to
// kCoarseNarrowRings and every column beyond. A whole sum decides exactly as
// the early-exit sum would (a candidate that stops early is never better than
// the best). Positions outside the window hold kOutside, above every sum
// (at most 16 x 255), so they never win and no walk needs to skip them.
class CoarseTable {
public:
    static constexpr int kColumns = MotionSearch::kCoarseColumns;
    static_assert(kColumns == kernels::kCoarseRingColumns);
    static constexpr int kMid = MotionSearch::kCoarseCentre;
    static constexpr int kNarrow = MotionSearch::kCoarseNarrowRings;

    CoarseTable(const std::uint8_t* ref, const std::uint8_t* cur, int qw, int x0, int y0, const CoarseWindow& w,
                const kernels::VideoKernels& k)
        : ref_(ref), qw_(qw), x0_(x0), y0_(y0), w_(w), k_(k), rows_{packed_, qw, outside_, columnMin_} {
        for (int r = 0; r < 4; ++r) std::memcpy(packed_ + 4 * r, cur + (y0 + r) * qw + x0, 4);
        // Columns j with x0 + j - kMid in xlo..xhi are inside.
        const int first = std::clamp(w.xlo - x0 + kMid, 0, kColumns);
        const int end = std::clamp(w.xhi - x0 + kMid + 1, first, kColumns);
        std::fill_n(outside_, kColumns, kOutside);
        std::fill_n(outside_ + first, end - first, std::uint16_t{0});
        std::fill_n(columnMin_, kColumns, kOutside);
    }

    // The sum at the centre; its row then joins the table as candidates.
    int Centre() {
        std::uint16_t* row = Row(0);
        k_.Sad4x4Row16(RowSource(0) + 8, packed_, qw_, row + 8);
        const int centre = row[kMid];
        std::fill_n(row, 8, kOutside);
        std::fill_n(row + 24, 8, kOutside);
        if (!InWindow(0)) std::fill_n(row, kColumns, kOutside);
        k_.CoarseRing32(rows_, nullptr, nullptr, 0, row, row, kSpans[0].data());
        return centre;
    }

    // The smallest sum on ring k (rows -k and k in full, columns -k and k
    // between them); rings are asked for in order 1, 2, 3, ...
    int RingMinimum(int k) {
        if (k == kNarrow + 1) Widen();
        // The side columns' sums come from the rows before this ring's.
        const std::uint16_t sides = std::min(columnMin_[kMid - k], columnMin_[kMid + k]);
        const std::uint16_t rows = k_.CoarseRing32(rows_, Source(-k), Source(k), k > kNarrow, Row(-k), Row(k),
                                                   kSpans[static_cast<std::size_t>(k)].data());
        return std::min(sides, rows);
    }

    // The first position of ring k in walk order whose sum is `lowest`.
    Offset FirstOnRing(int k, int lowest) const {
        const std::uint16_t* centre = &sums_[kMaxRing][kMid];
        int i = RingStart(k);
        while (centre[kCoarseSpiral[static_cast<std::size_t>(i)]] != lowest) ++i;
        return kSpiral[static_cast<std::size_t>(i)];
    }

private:
    // kOutside beyond column offset k, 0 within: the top and bottom rows of ring k.
    static constexpr std::array<std::array<std::uint16_t, kColumns>, kMaxRing + 1> kSpans = [] {
        std::array<std::array<std::uint16_t, kColumns>, kMaxRing + 1> a{};
        for (int k = 0; k <= kMaxRing; ++k)
            for (int j = 0; j < kColumns; ++j) a[k][j] = std::abs(j - kMid) <= k ? 0 : kOutside;
        return a;
    }();

    std::uint16_t* Row(int dy) { return sums_[dy + kMaxRing]; }
    bool InWindow(int dy) const { return y0_ + dy >= w_.ylo && y0_ + dy <= w_.yhi; }
    // The candidate of column 0 in row dy.
    const std::uint8_t* RowSource(int dy) const { return ref_ + (y0_ + dy) * qw_ + x0_ - kMid; }
    // The same for a row inside the window; a row outside is set to kOutside and has none.
    const std::uint8_t* Source(int dy) {
        if (InWindow(dy)) return RowSource(dy);
        std::fill_n(Row(dy), kColumns, kOutside);
        return nullptr;
    }
    // Rows of the narrow rings gain their outer columns and form the side
    // columns' minima afresh.
    void Widen() {
        std::fill_n(columnMin_, kColumns, kOutside);
        const std::uint8_t* middle = InWindow(0) ? RowSource(0) : nullptr;
        k_.CoarseRing32(rows_, middle, middle, 1, Row(0), Row(0), kSpans[0].data());
        for (int dy = 1; dy <= kNarrow; ++dy) {
            k_.CoarseRing32(rows_, InWindow(-dy) ? RowSource(-dy) : nullptr, InWindow(dy) ? RowSource(dy) : nullptr,
                            1, Row(-dy), Row(dy), kSpans[0].data());
        }
    }

    const std::uint8_t* ref_;
    int qw_, x0_, y0_;
    CoarseWindow w_;
    const kernels::VideoKernels& k_;
    std::uint8_t packed_[16];
    alignas(32) std::uint16_t outside_[kColumns];
    alignas(32) std::uint16_t columnMin_[kColumns];
    alignas(32) std::uint16_t sums_[2 * kMaxRing + 1][kColumns];
    const kernels::CoarseRows rows_;
};

}  // namespace

int FCodeFor(int m) {
    if (m < 8) return 1;
    if (m < 16) return 2;
    if (m < 32) return 3;
    if (m < 64) return 4;
    if (m < 128) return 5;
    if (m < 256) return 6;
    if (m < 512) return 7;
    if (m < 1024) return 8;
    if (m < 2048) return 9;
    return 1;
}

bool MotionSearch::Allocate(const Geometry& geo) {
    geo_ = geo;
    qw_ = geo.lumaWidth / 4;
    qh_ = geo.lumaHeight / 4;
    const std::size_t n = static_cast<std::size_t>(qw_) * static_cast<std::size_t>(qh_);
    try {
        for (auto& q : quarter_) q.assign(kQuarterFront + n + kQuarterBack, 0);
        for (auto& f : found_) f.assign(static_cast<std::size_t>(geo.MbCount()), Vec{});
    } catch (const std::bad_alloc&) {
        Free();
        return false;
    }
    qCur_ = quarter_[0].data() + kQuarterFront;
    qNew_ = quarter_[1].data() + kQuarterFront;
    qOld_ = quarter_[2].data() + kQuarterFront;
    return true;
}

void MotionSearch::Free() {
    for (auto& q : quarter_) std::vector<std::uint8_t>().swap(q);
    for (auto& f : found_) std::vector<Vec>().swap(f);
    qCur_ = qNew_ = qOld_ = nullptr;
}

void MotionSearch::ResetMaxima() {
    for (int& m : maxima_) m = 0;
}

void MotionSearch::PreparePicture(const std::uint8_t* srcY, int type, const kernels::VideoKernels& k) {
    const int stride = geo_.lumaWidth;
    for (int qy = 0; qy < qh_; ++qy) k.QuarterRow(srcY + qy * 4 * stride, stride, qCur_ + qy * qw_, qw_);
    const std::size_t n = static_cast<std::size_t>(qw_) * static_cast<std::size_t>(qh_);
    long long total = 0;
    for (std::size_t i = 0; i < n; ++i) total += qCur_[i];
    const long long mean = n ? total / static_cast<long long>(n) : 0;
    long long dev = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const long long e = mean - qCur_[i];
        dev += e * e;
    }
    detail_ = dev < 20LL * geo_.lumaWidth * geo_.lumaHeight ? 1 : 2;

    if (type != kPictureB) {
        // new reference -> old, current -> new; the old buffer is reused for the next current.
        std::uint8_t* spare = qOld_;
        qOld_ = qNew_;
        qNew_ = qCur_;
        qCur_ = spare;
    }
}

MotionSearch::Vec MotionSearch::CoarseSearch(const std::uint8_t* ref, const std::uint8_t* cur, int x0,
                                             int y0, int radius, const kernels::VideoKernels& k,
                                             int* bestSad) const {
    const CoarseWindow window{std::max(0, x0 - radius), std::min(x0 + radius - 1, qw_ - 4) - 1,
                              std::max(0, y0 - radius), std::min(y0 + radius - 1, qh_ - 4) - 1};
    CoarseTable table(ref, cur, qw_, x0, y0, window, k);
    int best = table.Centre();
    Vec pos{x0, y0};
    *bestSad = best;
    // Only a strictly smaller sum can move the result, and none is below 0:
    // the rings that would follow cannot change it.
    if (best == 0) return pos;
    // Rings keep their sums, so the winning position is looked up once at the end.
    int bestRing = 0;
    int unproductive = 0;
    for (int ring = 1; ring <= radius; ++ring) {
        const int lowest = table.RingMinimum(ring);
        if (lowest < best) {
            best = lowest;
            bestRing = ring;
            unproductive = 0;
        }
        if (best == 0) break;
        // Flat pictures (detail level 1) give up sooner after rings that found nothing.
        if (ring == 1 || ring == 2 || ring == 4 || ring == 8) {
            if (++unproductive > detail_) break;
        }
    }
    if (bestRing > 0) {
        const Offset o = table.FirstOnRing(bestRing, best);
        pos = Vec{x0 + o.dx, y0 + o.dy};
    }
    *bestSad = best;
    return pos;
}

MotionSearch::Vec MotionSearch::FullPelSearch(const std::uint8_t* ref, const std::uint8_t* cur, int mbx,
                                              int mby, Vec start, int coarseSad, const kernels::VideoKernels& k,
                                              int* bestSad) const {
    const int stride = geo_.lumaWidth;
    const int px = mbx * 16;
    const int py = mby * 16;
    const std::uint8_t* c = cur + py * stride + px;
    Vec bestPos = start;
    const int xlo = std::max(0, px - kFineWindow);
    const int xhi = std::min(geo_.lumaWidth - 16, px + kFineWindow);
    const int ylo = std::max(0, py - kFineWindow);
    const int yhi = std::min(geo_.lumaHeight - 16, py + kFineWindow);
    constexpr int kSide = 2 * kFineRings + 1;
    const int x8 = start.x - kFineRings;
    const int y8 = start.y - kFineRings;
    // A start that matches exactly cannot be beaten (strictly smaller wins):
    // the common case of still pictures costs one sum instead of the table.
    // The quarter pictures reduce the same pictures, so such a start had a
    // coarse sum of 0 too; any other start needs no test.
    if (coarseSad == 0 && k.Sad16(ref + start.y * stride + start.x, c, stride, 0, 0, 16, 1) == 0) {
        *bestSad = 0;
        return start;
    }
    const bool allInside = x8 >= xlo && x8 + kSide - 1 <= xhi && y8 >= ylo && y8 + kSide - 1 <= yhi;
    const bool startInside = start.x >= xlo && start.x <= xhi && start.y >= ylo && start.y <= yhi;
    // Rows of candidates read 16 + kSide - 1 bytes from their first column.
    const int lastRowStart = geo_.lumaWidth - 16 - (kSide - 1);
    if (allInside || (startInside && lastRowStart >= 0)) {
        // Whole sums of each row of candidates, then the rings in walk order
        // over the table (whole sums decide as the early-exit sums would).
        std::uint16_t sums[kSide][kFineColumns];
        if (allInside) {
            for (int r = 0; r < kSide; ++r) k.Sad16Row9(ref + (y8 + r) * stride + x8, c, stride, sums[r]);
        } else {
            // Near the window's edges each row is summed from a first column
            // inside the picture that still covers every allowed candidate;
            // candidates outside the window get kOutside, above every sum, so
            // no ring walk picks them.
            const int xb = std::clamp(x8, 0, lastRowStart);
            for (int r = 0; r < kSide; ++r) {
                const int y = y8 + r;
                if (y < ylo || y > yhi) {
                    std::fill_n(sums[r], kSide, kOutside);
                    continue;
                }
                std::uint16_t row[kFineColumns];
                k.Sad16Row9(ref + y * stride + xb, c, stride, row);
                for (int j = 0; j < kSide; ++j) {
                    const int x = x8 + j;
                    sums[r][j] = x < xlo || x > xhi ? kOutside : row[x - xb];
                }
            }
        }
        int best = sums[kFineRings][kFineRings];
        const std::uint16_t* centre = &sums[kFineRings][kFineRings];
        int bestIndex = -1;
        for (int ring = 1; ring <= kFineRings && best > 0; ++ring) {
            const int i = ImproveOnRing<kFineColumns>(centre, ring, kFineSpiral, &best);
            if (i >= 0) bestIndex = i;
        }
        if (bestIndex >= 0) {
            const Offset o = kSpiral[static_cast<std::size_t>(bestIndex)];
            bestPos = Vec{start.x + o.dx, start.y + o.dy};
        }
        *bestSad = best;
        return bestPos;
    }
    // A start outside the window, or a picture narrower than a row of
    // candidates: candidates one by one with the early exit.
    int best = k.Sad16(ref + start.y * stride + start.x, c, stride, 0, 0, 16, kNoLimit);
    for (int i = 0; i < RingStart(kFineRings + 1) && best > 0; ++i) {
        const Offset o = kSpiral[static_cast<std::size_t>(i)];
        const int x = start.x + o.dx, y = start.y + o.dy;
        if (x < xlo || x > xhi || y < ylo || y > yhi) continue;
        const int s = k.Sad16(ref + y * stride + x, c, stride, 0, 0, 16, best);
        if (s < best) {
            best = s;
            bestPos = Vec{x, y};
        }
    }
    *bestSad = best;
    return bestPos;
}

MotionSearch::Vec MotionSearch::HalfPelSearch(const std::uint8_t* ref, const std::uint8_t* cur, int mbx,
                                              int mby, Vec full, int fullSad,
                                              const kernels::VideoKernels& k) const {
    const int stride = geo_.lumaWidth;
    const int px = mbx * 16;
    const int py = mby * 16;
    const std::uint8_t* c = cur + py * stride + px;
    const int hxMax = 2 * (geo_.lumaWidth - 16);
    const int hyMax = 2 * (geo_.lumaHeight - 16);
    int best = kNoLimit;
    Vec bestPos{2 * full.x, 2 * full.y};
    const bool inside = 2 * full.x - 1 >= 0 && 2 * full.x + 1 <= hxMax && 2 * full.y - 1 >= 0 &&
                        2 * full.y + 1 <= hyMax;
    if (inside && fullSad == 0) {
        // The full-pel position (fifth in row order) answers 0, so the result is
        // the first of the four positions before it that also answers 0, or it.
        for (int i = 0; i < 4; ++i) {
            const int hx = 2 * full.x + i % 3 - 1, hy = 2 * full.y + i / 3 - 1;
            if (k.Sad16(ref + (hy >> 1) * stride + (hx >> 1), c, stride, hx & 1, hy & 1, 16, 1) == 0)
                return Vec{hx - 2 * px, hy - 2 * py};
        }
        return Vec{2 * full.x - 2 * px, 2 * full.y - 2 * py};
    }
    if (inside) {
        // All nine candidates lie inside: whole sums in one pass, same choice.
        int sads[9];
        k.HalfPelSads(ref + full.y * stride + full.x, c, stride, sads);
        for (int i = 0; i < 9; ++i) {
            if (sads[i] < best) {
                best = sads[i];
                bestPos = Vec{2 * full.x + i % 3 - 1, 2 * full.y + i / 3 - 1};
            }
        }
        return Vec{bestPos.x - 2 * px, bestPos.y - 2 * py};
    }
    for (int hy = 2 * full.y - 1; hy <= 2 * full.y + 1; ++hy) {
        if (hy < 0 || hy > hyMax) continue;
        for (int hx = 2 * full.x - 1; hx <= 2 * full.x + 1; ++hx) {
            if (hx < 0 || hx > hxMax) continue;
            // The full-pel position's whole sum is known already.
            const int s = (hx == 2 * full.x && hy == 2 * full.y)
                              ? fullSad
                              : k.Sad16(ref + (hy >> 1) * stride + (hx >> 1), c, stride, hx & 1, hy & 1, 16, best);
            if (s < best) {
                best = s;
                bestPos = Vec{hx, hy};
            }
        }
    }
    return Vec{bestPos.x - 2 * px, bestPos.y - 2 * py};
}

void MotionSearch::MarkIntra(MacroblockInfo* mbInfo) const {
    const int n = geo_.MbCount();
    for (int i = 0; i < n; ++i) {
        MacroblockInfo& mb = mbInfo[i];
        mb.mbType = kMbIntra;
        mb.mv[0][0] = mb.mv[0][1] = mb.mv[1][0] = mb.mv[1][1] = 0;
    }
}

void MotionSearch::SearchRows(int type, const Pictures& pics, int row0, int row1, MacroblockInfo* mbInfo,
                              const kernels::VideoKernels& k, Variances variances) {
    const int stride = geo_.lumaWidth;
    const bool bidir = type == kPictureB;
    // After PreparePicture the current quarter picture is the new reference for
    // anchors and qCur_ for B pictures.
    const std::uint8_t* qThis = bidir ? qCur_ : qNew_;
    auto error = [&](const std::uint8_t* ref, const std::uint8_t* c, int px, int py, Vec v) {
        const std::uint8_t* r = ref + (py + (v.y >> 1)) * stride + px + (v.x >> 1);
        return k.PredictionError(r, c, stride, v.x & 1, v.y & 1, 16);
    };
    for (int my = row0; my < row1; ++my) {
        for (int mx = 0; mx < geo_.mbWidth; ++mx) {
            const int i = my * geo_.mbWidth + mx;
            MacroblockInfo& mb = mbInfo[i];
            const int px = mx * 16;
            const int py = my * 16;
            const std::uint8_t* c = pics.cur + py * stride + px;
            const int variance = variances == Variances::Known ? mb.variance : k.MacroblockVariance(c, stride);

            int coarse = 0, sad = 0;
            const Vec cf = CoarseSearch(qOld_, qThis, mx * 4, my * 4, kForwardRadius, k, &coarse);
            const Vec ff = FullPelSearch(pics.oldSrc, pics.cur, mx, my, Vec{cf.x * 4, cf.y * 4}, coarse, k, &sad);
            const Vec fwd = HalfPelSearch(pics.oldSrc, pics.cur, mx, my, ff, sad, k);
            found_[0][static_cast<std::size_t>(i)] = fwd;
            Vec bwd{};
            if (bidir) {
                const Vec cb = CoarseSearch(qNew_, qThis, mx * 4, my * 4, kBackwardRadius, k, &coarse);
                const Vec fb =
                    FullPelSearch(pics.newSrc, pics.cur, mx, my, Vec{cb.x * 4, cb.y * 4}, coarse, k, &sad);
                bwd = HalfPelSearch(pics.newSrc, pics.cur, mx, my, fb, sad, k);
                found_[1][static_cast<std::size_t>(i)] = bwd;
            }

            mb.variance = variance;
            mb.mv[0][0] = mb.mv[0][1] = mb.mv[1][0] = mb.mv[1][1] = 0;
            int best;
            if (!bidir) {
                const int e = error(pics.oldRec, c, px, py, fwd);
                best = e;
                if (2 * e > variance && e >= kIntraFloor) {
                    mb.mbType = kMbIntra;
                } else {
                    const int z = fwd.x == 0 && fwd.y == 0 ? e : error(pics.oldRec, c, px, py, Vec{});
                    if (4 * z > 5 * e && z >= kIntraFloor) {
                        mb.mbType = kMbForward;
                        mb.mv[0][0] = fwd.x;
                        mb.mv[0][1] = fwd.y;
                    } else {
                        mb.mbType = 0;  // no motion: coded or skipped later
                        best = z;
                    }
                }
            } else {
                const int ef = error(pics.oldRec, c, px, py, fwd);
                const int eb = error(pics.newRec, c, px, py, bwd);
                const std::uint8_t* rf = pics.oldRec + (py + (fwd.y >> 1)) * stride + px + (fwd.x >> 1);
                const std::uint8_t* rb = pics.newRec + (py + (bwd.y >> 1)) * stride + px + (bwd.x >> 1);
                const int ei = k.BidirPredictionError(rf, rb, c, stride, fwd.x & 1, fwd.y & 1, bwd.x & 1,
                                                      bwd.y & 1, 16);
                if (ef <= eb && ef <= ei) {
                    mb.mbType = kMbForward;
                    best = ef;
                } else if (eb <= ei) {
                    mb.mbType = kMbBackward;
                    best = eb;
                } else {
                    mb.mbType = kMbForward | kMbBackward;
                    best = ei;
                }
                if (2 * best > variance && best >= kIntraFloor) {
                    mb.mbType = kMbIntra;
                } else {
                    if (mb.mbType & kMbForward) {
                        mb.mv[0][0] = fwd.x;
                        mb.mv[0][1] = fwd.y;
                    }
                    if (mb.mbType & kMbBackward) {
                        mb.mv[1][0] = bwd.x;
                        mb.mv[1][1] = bwd.y;
                    }
                }
            }
            mb.bestError = best;
        }
    }
}

void MotionSearch::AdaptFCodes(int type, bool mpeg1, int fCode[4]) {
    const int n = geo_.MbCount();
    for (int dir = 0; dir < 2; ++dir) {
        if (dir == 1 && type != kPictureB) break;
        for (int i = 0; i < n; ++i) {
            const Vec& v = found_[dir][static_cast<std::size_t>(i)];
            const int mx = std::abs(v.x) / 2;
            const int my = std::abs(v.y) / 2;
            if (mx > maxima_[2 * dir]) maxima_[2 * dir] = mx;
            if (my > maxima_[2 * dir + 1]) maxima_[2 * dir + 1] = my;
        }
    }
    for (int i = 0; i < 4; ++i) fCode[i] = 15;
    const int dirs = type == kPictureB ? 2 : 1;
    for (int dir = 0; dir < dirs; ++dir) {
        int h = FCodeFor(maxima_[2 * dir]);
        int v = FCodeFor(maxima_[2 * dir + 1]);
        if (mpeg1) h = v = std::max(h, v);
        fCode[2 * dir] = h;
        fCode[2 * dir + 1] = v;
    }
}

}  // namespace reelcast::mpeg::video
