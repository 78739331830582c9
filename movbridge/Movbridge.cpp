// The bridge component: its table, its worker thread and its exports.
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "movbridge/AviTranscoder.h"
#include "movbridge/EventSink.h"
#include "movbridge/IMovbridge.h"
#include "movbridge/SourceCheck.h"

#define MOVBRIDGE_API extern "C" __attribute__((visibility("default")))

namespace reelcast::movbridge {
namespace {

class Movbridge final : public IMovbridge {
public:
    void DeletingDestructor(std::uint32_t flags) override {
        if (flags & 1u) {
            delete this;
        } else {
            this->~Movbridge();
        }
    }
    void Release() override { DeletingDestructor(1u); }
    bool Init() override {
        QuietLibraryLog();
        return true;
    }
    bool IsReady() override { return true; }

    void SetFiles(const char* source, const char* target) override {
        source_ = source ? source : "";
        target_ = target ? target : "";
    }
    void SetNotify(void* window, MovbridgeNotify notify) override {
        window_ = window;
        notify_ = notify;
    }
    bool StartConversion() override;
    std::int32_t QuickTimeStatus() override { return LibraryStatus(); }
    void StopConversion() override;
    bool IsSupportedFile(const char* path) override {
        return CheckFile(path) == MOVBRIDGE_FILE_SUPPORTED;
    }

    ~Movbridge() {
        StopConversion();
        // Released from inside the notification function: the worker holds
        // nothing of this instance and ends by itself.
        if (worker_.joinable()) worker_.detach();
    }

private:
    // Ends a worker that has finished its conversion, so a new start can follow.
    void ReapFinishedWorker();

    std::string source_;
    std::string target_;
    void* window_ = nullptr;
    MovbridgeNotify notify_ = nullptr;
    std::thread worker_;
    std::shared_ptr<RunState> run_;
    std::shared_ptr<std::atomic<bool>> workerDone_;
};

void Movbridge::ReapFinishedWorker() {
    if (worker_.joinable() && workerDone_ && workerDone_->load() &&
        worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

bool Movbridge::StartConversion() {
    ReapFinishedWorker();
    if (worker_.joinable() || source_.empty() || target_.empty() || !notify_) return false;
    const MovbridgePoster poster = CurrentPoster();
    if (window_ && !poster) return false;

    run_ = std::make_shared<RunState>();
    workerDone_ = std::make_shared<std::atomic<bool>>(false);
    auto sink = std::make_shared<EventSink>(window_, notify_, poster, run_);
    TranscodeRequest request{source_, target_};
    worker_ = std::thread([request, sink, run = run_, done = workerDone_] {
        sink->Progress(0, true);
        const std::int32_t end = TranscodeToAvi(request, run->stopped,
                                                [&](std::int32_t v) { sink->Progress(v); });
        if (end == MOVBRIDGE_END_COMPLETED) sink->Progress(10000, true);
        // Set first, so that a start made as soon as the end event arrives finds
        // this worker on its way out and waits for it instead of refusing.
        done->store(true);
        sink->End(end);
    });
    return true;
}

void Movbridge::StopConversion() {
    if (!run_) return;
    run_->stopped.store(true);
    // From inside the notification function (null window) the worker is the
    // caller: it sees the flag and ends by itself.
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

}  // namespace
}  // namespace reelcast::movbridge

MOVBRIDGE_API void* _NEW_MOVBRIDGE() {
    auto* b = new (std::nothrow) reelcast::movbridge::Movbridge();
    if (!b) return nullptr;
    IMovbridge* i = b;
    if (!i->Init()) {
        i->Release();
        return nullptr;
    }
    return i;
}

MOVBRIDGE_API void* _NEW_00_MOVBRIDGE() {
    // Constructed on first use and destroyed at unload; taken from one thread.
    static reelcast::movbridge::Movbridge shared;
    static bool initialised = false;
    if (!initialised) initialised = shared.Init();
    return initialised ? static_cast<IMovbridge*>(&shared) : nullptr;
}

MOVBRIDGE_API void MovbridgeSetPoster(MovbridgePoster poster) {
    reelcast::movbridge::SetPoster(poster);
}

MOVBRIDGE_API std::int32_t MovbridgeCheckFile(const char* path) {
    reelcast::movbridge::QuietLibraryLog();
    return reelcast::movbridge::CheckFile(path);
}
