// Turns decoded pictures into the pictures a player shows: the stream's display
// rotation applied (its display matrix), and interlaced pictures deinterlaced
// (libavfilter's bwdif, one picture per picture, fields in the order the
// pictures' flags give). A stream that needs neither passes through untouched.
// Pictures go in with their time stamps and come out with the same ones, the
// deinterlacer one picture later (it looks at the next one). One thread at a
// time. Platform-internal (FFmpeg types).
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/NonCopyable.h"

struct AVFilterGraph;
struct AVFilterContext;

namespace reelcast::platform {

// The clockwise rotation (0, 90, 180 or 270 degrees) a player applies to the
// stream's pictures.
int DisplayRotation(const AVStream* st);

// The picture size a player shows for a coded size: sides swapped by a quarter turn.
void DisplaySize(const AVStream* st, int* width, int* height);

class PictureFilter : NonCopyable {
public:
    PictureFilter() = default;
    ~PictureFilter();

    // Prepares for the pictures of st (the stream must outlive the filter).
    void Open(const AVStream* st);
    void Close();
    // Forgets every picture held (after a seek).
    void Reset();

    // Hands in one decoded picture (its reference is taken over); null marks the
    // end, after which the held pictures come out. False when the picture could
    // not be taken.
    bool Push(AVFrame* picture);
    // The next finished picture into out; false when none is ready yet.
    bool Pull(AVFrame* out);

private:
    bool Build(const AVFrame* first);
    void FreeGraph();

    const AVStream* st_ = nullptr;
    int rotation_ = 0;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* src_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    bool passThrough_ = false;  // decided with the first picture
    bool decided_ = false;
    AVFrame* held_ = nullptr;   // pass-through: the picture waiting to be pulled
    bool holding_ = false;
    // What the graph was built for; a change rebuilds it.
    int width_ = 0, height_ = 0, format_ = -1;
};

}  // namespace reelcast::platform
