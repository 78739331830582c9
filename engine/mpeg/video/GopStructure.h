// Group-of-pictures structure and picture reordering: which picture is coded
// at each coding index. Groups hold N pictures with two B pictures between
// anchors; the first group of a stream is closed and two pictures shorter
// (its I picture has no B pictures before it), every later group is open.
#pragma once

#include <cstdint>

#include "engine/mpeg/video/CodingTypes.h"

namespace reelcast::mpeg::video {

struct CodedPicture {
    int type = kPictureI;       // PictureType
    int displayNumber = 0;      // picture number in display order
    int groupStart = 0;         // coding index of the group's I picture (g)
    int temporalReference = 0;  // displayNumber - g
    int bPosition = 0;          // 1 or 2 for B pictures, 0 otherwise
};

// p: coding index from 0; n: group length (15); total: pictures announced for
// the stream (display numbers are limited to total - 1).
inline CodedPicture PictureAt(int p, int n, int total) {
    CodedPicture c;
    const int g0 = ((p + 2) / n) * n - 2;
    c.groupStart = g0 > 0 ? g0 : 0;
    if (p == 0 || (p - 1) % 3 == 0) {
        c.type = (p == c.groupStart) ? kPictureI : kPictureP;
        int d = (p == 0) ? 0 : p + 2;
        if (total > 0 && d > total - 1) d = total - 1;
        if (d < 0) d = 0;
        c.displayNumber = d;
    } else {
        c.type = kPictureB;
        c.displayNumber = p - 1;
        c.bPosition = ((p - 2) % 3) + 1;
    }
    c.temporalReference = c.displayNumber - c.groupStart;
    return c;
}

// Pictures (n_total, P count, B count) of the group that starts at coding index
// g, for the rate control's group allocation.
struct GroupCounts {
    int n = 0;
    int np = 0;
    int nb = 0;
};

inline GroupCounts GroupCountsAt(int g, int n, int total) {
    GroupCounts c;
    c.n = (g == 0) ? n - 2 : n;
    if (total - g < c.n) c.n = total - g;
    if (c.n < 1) c.n = 1;
    c.np = (g == 0) ? (c.n + 4) / 3 - 1 : (c.n + 2) / 3 - 1;
    if (c.np < 0) c.np = 0;
    c.nb = c.n - c.np - 1;
    if (c.nb < 0) c.nb = 0;
    return c;
}

// Input-queue slot (0-based) that holds the picture of display number d.
inline int QueueSlotFor(int d) { return d == 0 ? 0 : ((d - 1) % 3); }

}  // namespace reelcast::mpeg::video
