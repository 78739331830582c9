/* What the C test programs share: they know the engine only by its export names
 * and its tables, count failed checks and go on, and keep their files in a
 * folder of their own. */
#pragma once

#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

/* Slot n of an object's table, as a function of type `type`. */
#define SLOT(obj, n, type) ((type)((*(void***)(obj))[n]))

static int g_failures = 0;

/* Reports a failed check of `what` and counts it; the program goes on. */
static inline void Fail(const char* what, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    fprintf(stderr, "FAIL %s: ", what);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    ++g_failures;
}

#define CHECK(c, ...)                              \
    do {                                           \
        if (!(c)) Fail(#c, __VA_ARGS__);           \
    } while (0)

/* The library at path (the engine by default); ends the program when it cannot
 * be loaded. */
static inline void* OpenLibrary(const char* path) {
    void* lib = dlopen(path ? path : "libOmbrixDll.so", RTLD_NOW);
    if (!lib) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        exit(1);
    }
    return lib;
}

/* An export of lib; ends the program when it is missing. */
static inline void* Export(void* lib, const char* name) {
    void* sym = dlsym(lib, name);
    if (!sym) {
        fprintf(stderr, "no %s\n", name);
        exit(1);
    }
    return sym;
}

/* A new object from the factory export `name`; ends the program on null. */
static inline void* NewObject(void* lib, const char* name) {
    void* obj = ((void* (*)(void))Export(lib, name))();
    if (!obj) {
        fprintf(stderr, "%s answered null\n", name);
        exit(1);
    }
    return obj;
}

/* A fresh folder under TMPDIR (or /tmp) named after tag, into dir. */
static inline void MakeScratchDir(char* dir, size_t size, const char* tag) {
    const char* base = getenv("TMPDIR");
    snprintf(dir, size, "%s/reelcast-%s-XXXXXX", base && *base ? base : "/tmp", tag);
    if (!mkdtemp(dir)) {
        perror("mkdtemp");
        exit(1);
    }
}

/* The program's exit status after its checks, with a line that says so. */
static inline int Finish(const char* program) {
    if (g_failures) {
        fprintf(stderr, "%s: %d failures\n", program, g_failures);
        return 1;
    }
    printf("%s: passed\n", program);
    return 0;
}
