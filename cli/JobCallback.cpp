#include "cli/JobCallback.h"

#include <cstdio>

#include "cli/Cancel.h"

namespace reelcast::cli {

void JobCallback::OnProgress(std::int32_t value) { progress_.Update(value); }

void JobCallback::OnFinished() {
    std::lock_guard<std::mutex> lock(m_);
    finished_ = true;
}

void JobCallback::OnMessage(const char* text) {
    std::lock_guard<std::mutex> lock(m_);
    if (!messages_.empty()) messages_ += '\n';
    messages_ += text ? text : "";
}

bool JobCallback::IsCancelled() {
    std::lock_guard<std::mutex> lock(m_);
    if (CancelRequested()) cancelled_ = true;
    return cancelled_;
}

bool JobCallback::finished() {
    std::lock_guard<std::mutex> lock(m_);
    return finished_;
}

bool JobCallback::cancelled() {
    std::lock_guard<std::mutex> lock(m_);
    return cancelled_;
}

std::string JobCallback::messages() {
    std::lock_guard<std::mutex> lock(m_);
    return messages_;
}

int JobCallback::Conclude(const std::string& output, bool stopped, const char* stoppedText) {
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

}  // namespace reelcast::cli
