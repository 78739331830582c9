// The conversion window's callback objects for the two engine jobs. Each call
// arrives on a job's worker thread and becomes a blocking message to the window:
// the worker waits until the window's thread has handled it, so every change to
// the window happens on its own thread. The window must therefore never wait
// for a worker without handling its events (see ReleaseHandlingEvents).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/core/ComponentHandle.h"
#include "engine/jobs/I_CONVERT_Callback.h"
#include "engine/jobs/I_MPEG_Callback.h"

namespace reelcast::app {

// What the window does with the jobs' messages (its thread).
class IJobEvents {
public:
    virtual void OnJobProgress(std::int32_t permyriad) = 0;  // WM_CONVERT_PROGRESS
    virtual void OnJobFinished() = 0;                        // WM_CONVERT_FINISHED
    virtual void OnJobMessage(const std::string& text) = 0;  // WM_CONVERT_MESSAGE

protected:
    ~IJobEvents() = default;
};

// The four slots, the same for both jobs' callback interfaces.
template <class Interface>
class JobCallback final : public Interface {
public:
    JobCallback(IJobEvents& window, const std::atomic<bool>& cancelRequested)
        : window_(window), cancelRequested_(cancelRequested) {}

    void OnProgress(std::int32_t progress) override;
    void OnFinished() override;
    void OnMessage(const char* text) override;
    bool IsCancelled() override { return cancelRequested_.load(); }

private:
    IJobEvents& window_;
    const std::atomic<bool>& cancelRequested_;
};

using CMACallBack = JobCallback<I_CONVERT_Callback>;  // the AVI job's
using COmbrixCallback = JobCallback<I_MPEG_Callback>;  // the MPEG job's

// Runs blockingWork (a Release or a wait that ends only when a worker has ended)
// on a helper thread while this thread keeps handling events, so a worker
// blocked in a callback message can be answered and end.
void ReleaseHandlingEvents(void (*blockingWork)(void*), void* arg);

template <class T>
void ReleaseHandlingEvents(core::ComponentHandle<T>& component) {
    if (!component) return;
    ReleaseHandlingEvents([](void* c) { static_cast<T*>(c)->Release(); }, component.release());
}

}  // namespace reelcast::app
