// Loading a library by its Windows file name and resolving decorated export names.
//
// "OmbrixDll.dll" resolves to libOmbrixDll.so in the program folder (the folder of
// the running executable), then along the normal library path. A standard-call
// decoration "@N" is dropped from an export name, because ELF names cannot carry
// it: "_NEW_OMBRIX@0" finds _NEW_OMBRIX.
#pragma once

#include <string>

namespace reelcast::platform {

// Opaque handle of a loaded library; null when loading failed.
using LibraryHandle = void*;

// "OmbrixDll.dll" -> "libOmbrixDll.so"; a name that already ends in ".so" (or
// contains ".so.") is kept; other names get "lib" and ".so" around their stem.
std::string SharedObjectName(const std::string& windowsName);

// "_NEW_OMBRIX@0" -> "_NEW_OMBRIX". Only a trailing "@digits" is dropped.
std::string UndecoratedName(const std::string& exportName);

// The folder of the running executable, without a trailing slash.
std::string ProgramFolder();

// Like LoadLibrary: a name with a '/' is used as a path; otherwise the program
// folder is tried first, then the normal library search.
LibraryHandle LoadLibrary(const std::string& windowsName);

// Like GetProcAddress: null when the export does not exist.
void* GetProcAddress(LibraryHandle lib, const std::string& exportName);

// Like FreeLibrary. Null is ignored.
void FreeLibrary(LibraryHandle lib);

// True when the library of that exact file name (a soname such as
// "libQt6Core.so.6") is already loaded into the process; loads nothing.
bool IsLibraryLoaded(const std::string& soname);

// The reason of the last failure of LoadLibrary on this thread, for messages.
std::string LastLoadError();

}  // namespace reelcast::platform
