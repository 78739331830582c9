/* Knows only the engine's tables: slot 0 deleting destructor, 1 Release,
 * 2 Init, 3 IsReady. Loads the library with dlopen and calls slots by index. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

typedef void* (*Factory)(void);
typedef void (*Fn_void)(void*);
typedef unsigned char (*Fn_bool)(void*);

static void** vtable(void* obj) { return *(void***)obj; }

static const char* kMods[] = {
    "OMBRIX", "OMBRIXDLL", "MEDIAGETINFO", "VFWMEDIAGETINFO", "DXMEDIAGETINFO",
    "VIDEODATADLL", "VFWVIDEODATA", "MEDIAVIDEO", "MEDIAAUDIODATA", "WAVFILE",
    "ASCONVERT", "YUVUTL", "YUVRGB", "MPGLIB", "MPGLIB_VIDEO", "MPGLIB_AUDIO",
    "MPGLIB_MUX", "AVIENCWRAPPER", "AVIENC", "AVILIB", "LAME", "MYVFW"};

static int failures = 0;
#define CHECK(c, msg) do { if (!(c)) { fprintf(stderr, "FAIL: %s\n", msg); ++failures; } } while (0)

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "libOmbrixDll.so";
    void* lib = dlopen(path, RTLD_NOW);
    if (!lib) { fprintf(stderr, "dlopen: %s\n", dlerror()); return 1; }

    for (size_t i = 0; i < sizeof kMods / sizeof kMods[0]; ++i) {
        char name[64];
        snprintf(name, sizeof name, "_NEW_%s", kMods[i]);
        CHECK(dlsym(lib, name) != NULL, name);
        snprintf(name, sizeof name, "_NEW_00_%s", kMods[i]);
        CHECK(dlsym(lib, name) != NULL, name);
    }

    Factory shared = (Factory)dlsym(lib, "_NEW_00_OMBRIXDLL");
    Factory fresh = (Factory)dlsym(lib, "_NEW_OMBRIXDLL");
    if (!shared || !fresh) return 1;
    void* a = shared();
    void* b = shared();
    CHECK(a != NULL && a == b, "shared instance is one address");
    if (a) CHECK(((Fn_bool)vtable(a)[3])(a), "IsReady through slot 3");

    void* c = fresh();
    CHECK(c != NULL && c != a, "fresh instance");
    if (c) {
        CHECK(((Fn_bool)vtable(c)[2])(c), "Init through slot 2");
        CHECK(((Fn_bool)vtable(c)[3])(c), "IsReady through slot 3");
        ((Fn_void)vtable(c)[1])(c); /* Release */
    }

    if (failures == 0) printf("c_abi: all checks passed\n");
    dlclose(lib);
    return failures ? 1 : 0;
}
