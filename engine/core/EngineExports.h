// The engine library's file name and the factory exports its callers (the
// desktop program, reelcast-cli) create their objects by.
#pragma once

namespace reelcast::core {

inline constexpr const char* kEngineLibraryName = "OmbrixDll.dll";
inline constexpr const char* kMpegJobExport = "_NEW_OMBRIX@0";
inline constexpr const char* kMediaInfoExport = "_NEW_MEDIAGETINFO@0";
inline constexpr const char* kAviJobExport = "_NEW_AVIENCWRAPPER@0";

}  // namespace reelcast::core
