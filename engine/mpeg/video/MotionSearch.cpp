#include "engine/mpeg/video/MotionSearch.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace reelcast::mpeg::video {
namespace {

constexpr int kNoLimit = 65536;
constexpr int kIntraFloor = 9 * 256;  // errors below this never make a macroblock intra

// Walks ring k (8k positions) around (cx, cy): from the top-left corner right,
// down, left and up. visit(x, y) answers false to stop the walk.
template <class Visit>
bool WalkRing(int cx, int cy, int k, Visit&& visit) {
    int x = cx - k;
    int y = cy - k;
    const int n = 2 * k;
    for (int i = 0; i < n; ++i, ++x)
        if (!visit(x, y)) return false;
    for (int i = 0; i < n; ++i, ++y)
        if (!visit(x, y)) return false;
    for (int i = 0; i < n; ++i, --x)
        if (!visit(x, y)) return false;
    for (int i = 0; i < n; ++i, --y)
        if (!visit(x, y)) return false;
    return true;
}

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
        for (auto& q : quarter_) q.assign(n, 0);
        for (auto& f : found_) f.assign(static_cast<std::size_t>(geo.MbCount()), Vec{});
    } catch (const std::bad_alloc&) {
        Free();
        return false;
    }
    qCur_ = quarter_[0].data();
    qNew_ = quarter_[1].data();
    qOld_ = quarter_[2].data();
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

void MotionSearch::PreparePicture(const std::uint8_t* srcY, int type) {
    const int stride = geo_.lumaWidth;
    for (int qy = 0; qy < qh_; ++qy) {
        const std::uint8_t* s = srcY + qy * 4 * stride;
        std::uint8_t* d = qCur_ + qy * qw_;
        for (int qx = 0; qx < qw_; ++qx) {
            int sum = 0;
            for (int r = 0; r < 4; ++r) {
                const std::uint8_t* p = s + r * stride + qx * 4;
                sum += p[0] + p[1] + p[2] + p[3];
            }
            d[qx] = static_cast<std::uint8_t>((sum + 8) >> 4);
        }
    }
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
                                             int y0, int radius, const kernels::VideoKernels& k) const {
    const int xlo = std::max(0, x0 - radius);
    const int xlim = std::min(x0 + radius - 1, qw_ - 4);  // exclusive
    const int ylo = std::max(0, y0 - radius);
    const int ylim = std::min(y0 + radius - 1, qh_ - 4);
    const std::uint8_t* c = cur + y0 * qw_ + x0;
    int best = k.Sad4x4(ref + y0 * qw_ + x0, c, qw_, kNoLimit);
    Vec pos{x0, y0};
    int unproductive = 0;
    for (int ring = 1; ring <= radius; ++ring) {
        WalkRing(x0, y0, ring, [&](int x, int y) {
            if (x < xlo || x >= xlim || y < ylo || y >= ylim) return true;
            const int s = k.Sad4x4(ref + y * qw_ + x, c, qw_, best);
            if (s < best) {
                best = s;
                pos = Vec{x, y};
                unproductive = 0;
            }
            return best > 0;
        });
        if (best == 0) break;
        // Flat pictures (detail level 1) give up sooner after rings that found nothing.
        if (ring == 1 || ring == 2 || ring == 4 || ring == 8) {
            if (++unproductive > detail_) break;
        }
    }
    return pos;
}

MotionSearch::Vec MotionSearch::FullPelSearch(const std::uint8_t* ref, const std::uint8_t* cur, int mbx,
                                              int mby, Vec start, const kernels::VideoKernels& k) const {
    const int stride = geo_.lumaWidth;
    const int px = mbx * 16;
    const int py = mby * 16;
    const std::uint8_t* c = cur + py * stride + px;
    int best = k.Sad16(ref + start.y * stride + start.x, c, stride, 0, 0, 16, kNoLimit);
    Vec bestPos = start;
    const int xlo = std::max(0, px - kFineWindow);
    const int xhi = std::min(geo_.lumaWidth - 16, px + kFineWindow);
    const int ylo = std::max(0, py - kFineWindow);
    const int yhi = std::min(geo_.lumaHeight - 16, py + kFineWindow);
    for (int ring = 1; ring <= kFineRings && best > 0; ++ring) {
        WalkRing(start.x, start.y, ring, [&](int x, int y) {
            if (x < xlo || x > xhi || y < ylo || y > yhi) return true;
            const int s = k.Sad16(ref + y * stride + x, c, stride, 0, 0, 16, best);
            if (s < best) {
                best = s;
                bestPos = Vec{x, y};
            }
            return best > 0;
        });
    }
    return bestPos;
}

MotionSearch::Vec MotionSearch::HalfPelSearch(const std::uint8_t* ref, const std::uint8_t* cur, int mbx,
                                              int mby, Vec full, const kernels::VideoKernels& k) const {
    const int stride = geo_.lumaWidth;
    const int px = mbx * 16;
    const int py = mby * 16;
    const std::uint8_t* c = cur + py * stride + px;
    const int hxMax = 2 * (geo_.lumaWidth - 16);
    const int hyMax = 2 * (geo_.lumaHeight - 16);
    int best = kNoLimit;
    Vec bestPos{2 * full.x, 2 * full.y};
    for (int hy = 2 * full.y - 1; hy <= 2 * full.y + 1; ++hy) {
        if (hy < 0 || hy > hyMax) continue;
        for (int hx = 2 * full.x - 1; hx <= 2 * full.x + 1; ++hx) {
            if (hx < 0 || hx > hxMax) continue;
            const int s = k.Sad16(ref + (hy >> 1) * stride + (hx >> 1), c, stride, hx & 1, hy & 1, 16, best);
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
                              const kernels::VideoKernels& k) {
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
            const int variance = k.MacroblockVariance(c, stride);

            const Vec cf = CoarseSearch(qOld_, qThis, mx * 4, my * 4, kForwardRadius, k);
            const Vec ff = FullPelSearch(pics.oldSrc, pics.cur, mx, my, Vec{cf.x * 4, cf.y * 4}, k);
            const Vec fwd = HalfPelSearch(pics.oldSrc, pics.cur, mx, my, ff, k);
            found_[0][static_cast<std::size_t>(i)] = fwd;
            Vec bwd{};
            if (bidir) {
                const Vec cb = CoarseSearch(qNew_, qThis, mx * 4, my * 4, kBackwardRadius, k);
                const Vec fb = FullPelSearch(pics.newSrc, pics.cur, mx, my, Vec{cb.x * 4, cb.y * 4}, k);
                bwd = HalfPelSearch(pics.newSrc, pics.cur, mx, my, fb, k);
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
                    const int z = error(pics.oldRec, c, px, py, Vec{});
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
