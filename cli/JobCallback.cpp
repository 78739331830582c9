#include "cli/JobCallback.h"

#include <cstdio>

#include "cli/Cancel.h"

namespace reelcast::cli {

template <class Interface>
void JobCallback<Interface>::OnProgress(std::int32_t value) { progress_.Update(value); }

template <class Interface>
void JobCallback<Interface>::OnFinished() {
    std::lock_guard<std::mutex> lock(m_);
    finished_ = true;
}

template <class Interface>
void JobCallback<Interface>::OnMessage(const char* text) {
    std::lock_guard<std::mutex> lock(m_);
    if (!messages_.empty()) messages_ += '\n';
    messages_ += text ? text : "";
}

template <class Interface>
bool JobCallback<Interface>::IsCancelled() {
    std::lock_guard<std::mutex> lock(m_);
    if (CancelRequested()) cancelled_ = true;
    return cancelled_;
}

template <class Interface>
bool JobCallback<Interface>::finished() {
    std::lock_guard<std::mutex> lock(m_);
    return finished_;
}

template <class Interface>
bool JobCallback<Interface>::cancelled() {
    std::lock_guard<std::mutex> lock(m_);
    return cancelled_;
}

template <class Interface>
std::string JobCallback<Interface>::messages() {
    std::lock_guard<std::mutex> lock(m_);
    return messages_;
}

template <class Interface>
int JobCallback<Interface>::Conclude(const std::string& output, bool stopped, const char* stoppedText) {
    const bool done = finished();
    progress_.Finish(done);
    const std::string text = messages();
    if (!text.empty()) std::fprintf(stderr, "%s\n", text.c_str());
    if (done) return 0;
    if (stopped) {
        std::fprintf(stderr, "Conversion cancelled; %s %s\n", output.c_str(), stoppedText);
    } else if (text.empty()) {
        std::fprintf(stderr, "reelcast-cli: the conversion ended without completing %s\n", output.c_str());
    }
    return 1;
}

template class JobCallback<I_MPEG_Callback>;
template class JobCallback<I_CONVERT_Callback>;

}  // namespace reelcast::cli
