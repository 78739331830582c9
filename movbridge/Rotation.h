// Sources that are stored turned (a phone held upright) carry a display matrix;
// players turn the pictures before showing them, and so does the bridge.
#pragma once

extern "C" {
struct AVFrame;
struct AVStream;
}

namespace reelcast::movbridge {

// The clockwise turn that shows the stream upright: 0, 90, 180 or 270. Turns
// that are not a multiple of 90 degrees are left alone (0).
int ClockwiseTurn(const AVStream* stream);

// Writes src turned clockwise by turn degrees into dst. Both are planar 4:2:0
// pictures with even sizes; dst is src's size, or its transpose for 90 and 270.
void TurnPicture(const AVFrame* src, AVFrame* dst, int turn);

}  // namespace reelcast::movbridge
