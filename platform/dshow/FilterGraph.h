// Stand-in for a DirectShow filter graph that has rendered a file, as the probe
// sees it: the source filter's output pins with their subtypes, and behind each
// the output pins of the downstream filter (the splitter's streams, or the
// decoder of an ASF stream) with their media types, their own names and the name
// of the decoder filter connected to them. Any container libavformat reads.
// One thread at a time. No FFmpeg types here: the engine includes this header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/dshow/MediaTypes.h"
#include "platform/NonCopyable.h"

namespace reelcast::platform {

struct GraphPin {
    std::string name;             // the pin's own name ("Video", "Audio")
    std::string connectedFilter;  // the decoder filter connected to it
    MediaType type;
};

class FilterGraph : NonCopyable {
public:
    FilterGraph();
    ~FilterGraph();

    // RenderFile. False when the file cannot be read or none of its streams can
    // be decoded.
    bool RenderFile(const char* path);

    // Duration of the graph in 100 ns units; 0 when unknown.
    std::int64_t Duration() const;

    int SourcePinCount() const;
    MediaSubtype SourcePinSubtype(int pin) const;
    int DownstreamPinCount(int pin) const;
    const GraphPin* DownstreamPin(int pin, int k) const;

    // Runs the graph over `milliseconds` of stream time from the start (0: up to
    // five seconds when the duration is unknown) and answers the video renderer's
    // average frame rate in frames per second x 100; 0 when no picture was shown.
    // Works through the stream's packets; it does not wait in real time.
    int MeasureFrameRate(std::int64_t milliseconds);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace reelcast::platform
