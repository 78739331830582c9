// The engine library and the bridge library, bound once at program start by
// their Windows file names, and the four factories the program creates its
// engine objects with.
#pragma once

#include <string>

#include "engine/core/ComponentHandle.h"

namespace reelcast {
class IMpegConversionJob;
class IAviConversionJob;
class IMediaInfo;
}  // namespace reelcast

namespace reelcast::app {

// An argument-less factory export: a fresh instance, or null.
using EngineFactory = void* (*)();

struct EngineFactories {
    EngineFactory newOmbrix = nullptr;         // _NEW_OMBRIX@0: the MPEG job
    EngineFactory newMediaGetInfo = nullptr;   // _NEW_MEDIAGETINFO@0: the media probe
    EngineFactory newAviEncWrapper = nullptr;  // _NEW_AVIENCWRAPPER@0: the AVI job
    EngineFactory newMovbridge = nullptr;      // _NEW_MOVBRIDGE@0: the bridge
};

// Loads "OmbrixDll.dll" and "Movbridge.dll" (from `folder` when given, else the
// program folder and the library path) and resolves the four factories. On
// failure `missing` names what could not be found and the factories bound
// before stay as they were.
// The libraries stay loaded for the rest of the process.
bool BindEngineLibraries(std::string& missing, const std::string& folder = {});

// The bound factories (all null before a successful bind).
const EngineFactories& BoundFactories();

// Replaces the bound factories (tests hand in stand-ins; null entries stay null).
void SetBoundFactories(const EngineFactories& factories);

// Typed creation through the bound factories; null when unbound or when the
// factory answers null.
core::ComponentHandle<IMpegConversionJob> NewMpegJob();
core::ComponentHandle<IAviConversionJob> NewAviJob();
core::ComponentHandle<IMediaInfo> NewMediaProbe();
void* NewMovbridgeInstance();

}  // namespace reelcast::app
