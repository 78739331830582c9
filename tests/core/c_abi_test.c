/* Knows only the engine's tables: slot 0 deleting destructor, 1 Release,
 * 2 Init, 3 IsReady. Loads the library with dlopen and calls slots by index. */
#include <string.h>

#include "CTestSupport.h"

typedef void* (*Factory)(void);
typedef void (*Fn_void)(void*);
typedef unsigned char (*Fn_bool)(void*);

static const char* kMods[] = {
    "OMBRIX", "OMBRIXDLL", "MEDIAGETINFO", "VFWMEDIAGETINFO", "DXMEDIAGETINFO",
    "VIDEODATADLL", "VFWVIDEODATA", "MEDIAVIDEO", "MEDIAAUDIODATA", "WAVFILE",
    "ASCONVERT", "YUVUTL", "YUVRGB", "MPGLIB", "MPGLIB_VIDEO", "MPGLIB_AUDIO",
    "MPGLIB_MUX", "AVIENCWRAPPER", "AVIENC", "AVILIB", "LAME", "MYVFW"};

int main(int argc, char** argv) {
    void* lib = OpenLibrary(argc > 1 ? argv[1] : NULL);

    for (size_t i = 0; i < sizeof kMods / sizeof kMods[0]; ++i) {
        char name[64];
        snprintf(name, sizeof name, "_NEW_%s", kMods[i]);
        CHECK(dlsym(lib, name) != NULL, "%s", name);
        snprintf(name, sizeof name, "_NEW_00_%s", kMods[i]);
        CHECK(dlsym(lib, name) != NULL, "%s", name);
    }

    Factory shared = (Factory)Export(lib, "_NEW_00_OMBRIXDLL");
    void* a = shared();
    void* b = shared();
    CHECK(a != NULL && a == b, "shared instance is one address");
    if (a) CHECK(SLOT(a, 3, Fn_bool)(a), "IsReady through slot 3");

    void* c = NewObject(lib, "_NEW_OMBRIXDLL");
    CHECK(c != a, "fresh instance");
    CHECK(SLOT(c, 2, Fn_bool)(c), "Init through slot 2");
    CHECK(SLOT(c, 3, Fn_bool)(c), "IsReady through slot 3");
    SLOT(c, 1, Fn_void)(c); /* Release */

    dlclose(lib);
    return Finish("c_abi");
}
