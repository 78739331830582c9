// IMpegMultiplexer (MPGLIB_MUX): interleaves the coded video and Layer II audio
// into 2324-byte packs of an MPEG-1 system stream (kinds 0 and 1) or an MPEG-2
// program stream (kinds 2 and 3), and for kind 3 fills the scan offsets of the
// I pictures once the file is complete.
//
// Calling order: Init; SetStream; SetMpeg1Format or SetMpeg2Format; any mix of
// AddAudioUnit / AddVideoPicture (or AddVideoUnit) and Multiplex; Finish.
// Everything runs on the one thread that drives the encoder front.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"
#include "engine/mpeg/mux/IStreamSource.h"
#include "engine/mpeg/mux/MuxRecords.h"

namespace reelcast {

class IMpegMultiplexer : public IEngineComponent {
public:
    // Slot 4. Queues one coded audio frame (the record is copied). Answers true.
    virtual bool AddAudioUnit(const AudioUnit* unit) = 0;
    // Slot 5. Queues one coded picture (the record is copied). Answers true.
    virtual bool AddVideoUnit(const VideoUnit* unit) = 0;
    // Slot 6. Opens the output at the first call with audio queued, then writes
    // every pack it can. False when the output cannot be created or written, or
    // when the multiplex has ended.
    virtual bool Multiplex() = 0;
    // Slot 7. Writes every remaining coded byte of both streams and the end of
    // the file, then closes it (and runs the scan-offset pass for kind 3).
    virtual void Finish() = 0;
    // Slot 8. Answers true.
    virtual bool Reserved8() = 0;
    // Slot 9. Bytes written so far / 1048576.
    virtual double GetMegabytesWritten() = 0;
    // Slot 10. Converts a 27 MHz time into a Timecode (extension only in the
    // MPEG-2 kinds).
    virtual void MakeTimecode(double ticks27MHz, Timecode* out) = 0;
    // Slot 11. Kind 0 (MPEG-1) or 1 (VCD); the second value is ignored. Answers 364.
    virtual std::int32_t SetMpeg1Format(std::int32_t kind, std::int32_t ignored) = 0;
    // Slot 12. Kind 2 (MPEG-2) or 3 (SVCD/DVD); notDvd 0 selects DVD. Answers 180.
    virtual std::int32_t SetMpeg2Format(std::int32_t kind, std::int32_t notDvd) = 0;
    // Slot 13. Stamps one coded picture (DTS from its coding index, PTS from its
    // display index) and queues it. The two unnamed doubles are not used.
    virtual bool AddVideoPicture(std::int32_t codingIndex, std::int32_t displayIndex, double frameRate,
                                 double unused1, double unused2, VideoUnit* unit) = 0;
    // Slot 14. Where the bytes come from (not owned) and what the output is.
    virtual void SetStream(IStreamSource* source, double muxRateFactor, std::uint32_t audioBitRateIndex,
                           double videoBitRate, const char* outputPath, std::uint32_t frameRateCode,
                           std::uint32_t gopLength) = 0;
    // Slot 15. True once the output could not be created or a write to it failed
    // (the multiplex has then ended): the file is incomplete.
    virtual bool WriteFailed() = 0;

protected:
    ~IMpegMultiplexer() = default;
};

}  // namespace reelcast
