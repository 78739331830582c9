#include "cli/JobCallback.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "cli/Cancel.h"
#include "cli/SourceCause.h"
#include "engine/jobs/JobMessages.h"

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

OutputMark MarkOutput(const std::string& path) {
    struct stat st;
    OutputMark m;
    m.path = path;
    if (::stat(path.c_str(), &st) != 0) return m;
    m.existed = true;
    m.inode = static_cast<long long>(st.st_ino);
    m.modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return m;
}

template <class Interface>
int JobCallback<Interface>::Conclude(const Engine& engine, const CliOptions& opts, const OutputMark& before,
                                     bool stopped) {
    const bool done = finished();
    progress_.Finish(done);
    std::string text = messages();
    // A signal is no user's cancel: it is told as what it is.
    if (stopped && text.rfind(jobs::kCanceled, 0) == 0) text.erase(0, std::strlen(jobs::kCanceled));
    TellAbout(opts.input, text);
    if (done) return 0;
    const bool mpeg = opts.mode != Mode::Avi && opts.mode != Mode::Divx;
    if (stopped) {
        TellAbout(opts.input, "interrupted");
    } else {
        const std::string cause = SourceCause(engine, opts.input, mpeg);
        if (!cause.empty()) TellAbout(opts.input, cause);
        if (text.empty() && cause.empty()) TellAbout(opts.input, "the conversion ended without completing the output");
    }
    const OutputMark after = MarkOutput(before.path);
    if (after.existed && (!before.existed || after.inode != before.inode || after.modified != before.modified))
        std::fprintf(stderr, "reelcast-cli: %s\n", jobs::PartWrittenNotice(before.path).c_str());
    return 1;
}

template class JobCallback<I_MPEG_Callback>;
template class JobCallback<I_CONVERT_Callback>;

}  // namespace reelcast::cli
