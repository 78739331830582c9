// reelcast-cli convert for the mov and swf modes: the QuickTime/Flash bridge
// converts, loaded by its file name just as the desktop program loads it, with
// its events delivered on its own worker thread (no window).
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "cli/Cancel.h"
#include "cli/Commands.h"
#include "cli/Progress.h"
#include "movbridge/IMovbridge.h"
#include "platform/dynlib/DynLib.h"

namespace reelcast::cli {
namespace {

// What the notification function reports; it carries no context of its own, and
// the command runs one conversion per process.
struct BridgeRun {
    std::mutex m;
    std::condition_variable cv;
    Progress* progress = nullptr;
    bool ended = false;
    std::int32_t endValue = -1;
};
BridgeRun g_run;

// Bridge worker thread.
void OnBridgeEvent(std::int32_t, const std::int32_t* event) {
    if (event[0] == MOVBRIDGE_EVENT_PROGRESS) {
        g_run.progress->Update(event[1]);
        return;
    }
    std::lock_guard<std::mutex> lock(g_run.m);
    g_run.ended = true;
    g_run.endValue = event[1];
    g_run.cv.notify_all();
}

// The end event's meaning for someone at a terminal.
const char* EndText(std::int32_t value) {
    switch (value) {
        case MOVBRIDGE_END_NO_QUICKTIME: return "The FFmpeg libraries the bridge needs can not be used.";
        case MOVBRIDGE_END_MISSING_PARTS: return "The FFmpeg libraries lack a decoder or encoder this file needs.";
        case MOVBRIDGE_END_CONVERT_ERROR: return MOVBRIDGE_TEXT_CONVERT_ERROR;
        case MOVBRIDGE_END_OPEN_FAILED:
        case MOVBRIDGE_END_NO_PICTURES: return MOVBRIDGE_TEXT_OPEN_FAILED;
        case MOVBRIDGE_END_INIT_ERROR: return MOVBRIDGE_TEXT_INIT_ERROR;
        default: return "The conversion ended without completing.";
    }
}

class BridgeLibrary {
public:
    ~BridgeLibrary() { platform::FreeLibrary(lib_); }
    bool Load() {
        lib_ = platform::LoadLibrary(MOVBRIDGE_LIBRARY_NAME);
        return lib_ != nullptr;
    }
    template <class Fn>
    Fn Export(const char* name) const {
        return reinterpret_cast<Fn>(platform::GetProcAddress(lib_, name));
    }

private:
    platform::LibraryHandle lib_ = nullptr;
};

bool SameFile(const struct stat& a, const std::string& path) {
    struct stat b;
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

int RunBridgeConvert(const CliOptions& opts) {
    struct stat in;
    if (::stat(opts.input.c_str(), &in) != 0) {
        std::fprintf(stderr, "reelcast-cli: %s: %s\n", opts.input.c_str(), std::strerror(errno));
        return 1;
    }
    struct stat out;
    if (::stat(opts.output.c_str(), &out) == 0) {
        if (SameFile(in, opts.output)) {
            std::fprintf(stderr, "reelcast-cli: the output would replace the input\n");
            return 1;
        }
        if (!opts.overwrite) return RefuseOverwrite(opts.output);
    }

    BridgeLibrary lib;
    if (!lib.Load()) {
        std::fprintf(stderr, "Can not find DLL: %s\n", platform::LastLoadError().c_str());
        return 1;
    }
    auto factory = lib.Export<MovbridgeFactoryFn>(MOVBRIDGE_FACTORY_EXPORT);
    auto checkFile = lib.Export<MovbridgeCheckFileFn>(MOVBRIDGE_CHECK_FILE_EXPORT);
    IMovbridge* bridge = factory ? static_cast<IMovbridge*>(factory()) : nullptr;
    if (!bridge || !checkFile) {
        if (bridge) bridge->Release();
        std::fprintf(stderr, "Can not find DLL: %s lacks its exports\n", MOVBRIDGE_LIBRARY_NAME);
        return 1;
    }
    switch (checkFile(opts.input.c_str())) {
        case MOVBRIDGE_FILE_SUPPORTED: break;
        case MOVBRIDGE_FILE_FLASH_VECTOR:
            bridge->Release();
            std::fprintf(stderr, "%s\n", MOVBRIDGE_TEXT_FLASH_VECTOR);
            return 1;
        default:
            bridge->Release();
            std::fprintf(stderr, "%s\n", MOVBRIDGE_TEXT_NOT_QUICKTIME);
            return 1;
    }

    Progress progress(opts.quiet);
    g_run.progress = &progress;
    bridge->SetFiles(opts.input.c_str(), opts.output.c_str());
    bridge->SetNotify(nullptr, OnBridgeEvent);
    if (!bridge->StartConversion()) {
        bridge->Release();
        std::fprintf(stderr, "reelcast-cli: the bridge did not start\n");
        return 1;
    }
    bool cancelled = false;
    {
        std::unique_lock<std::mutex> lock(g_run.m);
        while (!g_run.ended && !cancelled) {
            g_run.cv.wait_for(lock, std::chrono::milliseconds(100));
            if (!g_run.ended && CancelRequested()) cancelled = true;
        }
    }
    // After a stop the bridge sends nothing more; the AVI is closed when it returns.
    if (cancelled) bridge->StopConversion();
    bridge->Release();
    const bool done = !cancelled && g_run.endValue == MOVBRIDGE_END_COMPLETED;
    progress.Finish(done);
    if (done) return 0;
    if (cancelled && ::stat(opts.output.c_str(), &out) == 0) {
        std::fprintf(stderr, "Conversion cancelled; %s holds the frames written so far\n", opts.output.c_str());
    } else if (cancelled) {
        std::fprintf(stderr, "Conversion cancelled before any picture was written\n");
    } else {
        std::fprintf(stderr, "%s\n", EndText(g_run.endValue));
    }
    return 1;
}

}  // namespace reelcast::cli
