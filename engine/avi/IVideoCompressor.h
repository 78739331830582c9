// IVideoCompressor (MYVFW): the installed video compressors, one of them opened
// for a picture format, and the compressed video stream of an AVI file.
// All calls of one conversion come from one thread.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"
#include "platform/avifile/AviFileWriter.h"

namespace reelcast {

class IVideoCompressor : public IEngineComponent {
public:
    // Slot 4. The index-th compressor: its description into name (up to 255 bytes
    // and the NUL) and its FourCC into *handler, each when not null. False past
    // the last one.
    virtual bool EnumVideoCodec(std::int32_t index, char* name, std::uint32_t* handler) = 0;
    // Slot 5. Prints every compressor to standard output (a diagnostic).
    virtual bool ListCodecs() = 0;
    // Slot 6. The compressor choice dialog; whether the user confirmed. The choice
    // is not kept. False when no dialog can be shown.
    virtual bool ChooseCompressor() = 0;
    // Slot 7. Fills the video stream header and the compression options.
    virtual void SetFrameRate(double fps) = 0;
    // Slot 8.
    virtual void CloseCompressor() = 0;
    // Slot 9. format: 0 32-bit RGB, 1 24-bit RGB, 3 YUY2; bottom-up DIB rows.
    virtual bool OpenCompressor(std::uint32_t handler, std::int32_t width, std::int32_t height,
                                std::int32_t format) = 0;
    // Slot 10. Creates the compressed video stream in file (not owned).
    virtual bool CreateVideoStream(platform::avifile::AviFileWriter* file) = 0;
    // Slot 11. Compresses and writes one picture; *bytesWritten gets the chunk size.
    virtual bool WriteFrame(const void* bits, std::int32_t* bytesWritten) = 0;
    // Slot 12. Forgets the stream (the file keeps what was written).
    virtual void ReleaseStream() = 0;
    // Slot 13. The shape of the pictures' pixels (width : height) for the streams
    // created from now on: recorded in the file and, where the compressor's
    // format has room, in the compressed pictures. 1:1 after Init.
    virtual void SetPixelAspect(std::int32_t num, std::int32_t den) = 0;

protected:
    ~IVideoCompressor() = default;
};

}  // namespace reelcast
