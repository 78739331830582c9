// IAviConversionJob (AVIENCWRAPPER): converts one source file into an AVI file on
// a worker thread of its own. The program creates it once per conversion window,
// sets it up, starts it, may Cancel, and Releases it when the window closes.
// The setters must not be called while a conversion runs.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"
#include "engine/jobs/I_CONVERT_Callback.h"

namespace reelcast {

class IAviConversionJob : public IEngineComponent {
public:
    // Slot 4. Stores a copy; true.
    virtual bool SetSourceFile(const char* path) = 0;
    // Slot 5. Stores a copy.
    virtual void SetTargetFile(const char* path) = 0;
    // Slot 6. Not owned; must outlive the job.
    virtual void SetCallback(I_CONVERT_Callback* cb) = 0;
    // Slot 7. The index-th installed video compressor (name up to 255 bytes).
    virtual bool EnumVideoCodec(std::int32_t index, char* name, std::uint32_t* handler) = 0;
    // Slot 8. The compressor to use, by FourCC.
    virtual void SetVideoCodec(std::uint32_t handler) = 0;
    // Slot 9. Where each frame is shown while converting; may be null.
    virtual void SetPreviewWindow(void* window) = 0;
    // Slot 10. The "AVI Option" dialog (interface thread), then on OK the worker.
    virtual void StartWithOptions(void* parent) = 0;
    // Slot 11. Starts without a dialog, the compressor chosen by codec family;
    // 0 for width or height keeps the source's.
    virtual void StartDirect(std::int32_t width, std::int32_t height, std::int32_t frameRateIndex,
                             std::int32_t sampleRate) = 0;
    // Slot 12. Nonzero: DivX/XviD family; 0: Indeo family.
    virtual bool SetCodecFamily(std::int32_t family) = 0;
    // Slot 13. The worker stops after the frame in hand with "User Canceled".
    virtual void Cancel() = 0;
    // Slot 14. The audio type StartDirect uses: 0 none, 1 PCM WAV beside the AVI,
    // 2 MP3, 3 an audio codec's format.
    virtual bool SetAudioType(std::int32_t audioType) = 0;
    // Slot 15. For audio type 3 without a dialog: the first compressed format the
    // installed codecs make from 16-bit stereo at sampleRate. False when none.
    virtual bool ChooseDefaultAudioFormat(std::int32_t sampleRate) = 0;
    // Slot 16. Waits up to timeoutMs (negative: without limit) for the worker to
    // end; true when no worker is running.
    virtual bool WaitForWorker(std::int32_t timeoutMs) = 0;
    // Slot 17. StartDirect with the compressor last set by SetVideoCodec instead
    // of one chosen by codec family.
    virtual void StartDirectWithCodec(std::int32_t width, std::int32_t height,
                                      std::int32_t frameRateIndex, std::int32_t sampleRate) = 0;

protected:
    ~IAviConversionJob() = default;
};

}  // namespace reelcast
