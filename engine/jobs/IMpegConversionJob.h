// IMpegConversionJob (OMBRIX): one conversion from a source file to an MPEG file
// on a worker thread of its own.
#pragma once

#include "engine/core/IEngineComponent.h"
#include "engine/jobs/I_MPEG_Callback.h"
#include "engine/jobs/MpegJobParams.h"

namespace reelcast {

class IMpegConversionJob : public IEngineComponent {
public:
    // Slot 4. Copies the whole record and keeps the callback (not owned; it must
    // outlive the job). Returns the job.
    virtual IMpegConversionJob* SetParameters(const MpegJobParams* params,
                                              I_MPEG_Callback* callback) = 0;
    // Slot 5. Starts the worker; returns its thread handle, null when none started.
    // Called once per job object. Release() waits for the worker to end.
    virtual void* Start() = 0;

protected:
    ~IMpegConversionJob() = default;
};

}  // namespace reelcast
