#include "app/logic/ConvertWindowLogic.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/logic/ConvertModes.h"
#include "engine/avi/AviOutputName.h"
#include "engine/jobs/JobMessages.h"
#include "movbridge/IMovbridge.h"

namespace reelcast::app {

std::string LockedOutputMessage(std::string_view path) {
    return "File :" + std::string(path) + "is locked, can not be overwrite!";
}

int ProgressPercent(std::int32_t permyriad) { return permyriad / 100; }

std::string ProgressText(std::int32_t permyriad) {
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", ProgressPercent(permyriad));
    return text;
}

bool SwitchesToBridge(ConvertState state, int convertMode, bool useMovbridge, std::string_view input) {
    return state == ConvertState::Idle && convertMode == kModeAllToAvi && !useMovbridge &&
           IsBridgeInput(input);
}

std::string ProposedOutput(std::string_view input, std::string_view title, bool useMovbridge) {
    if (useMovbridge) return std::string(input) + ".avi";
    if (title.substr(0, 3) == "AVI") return std::string(input) + ".mpg";
    if (title.substr(0, 3) == "ALL") return std::string(input) + ".avi";
    return {};
}

bool BridgeEndMessage(std::int32_t value, MessageSpec* out) {
    switch (value) {
        case MOVBRIDGE_END_COMPLETED:
            *out = {kConvertCompleted, "Info", MessageIcon::Information};
            return true;
        case MOVBRIDGE_END_NO_QUICKTIME:
            *out = {std::string("Vantor Reelcast need QuickTime to convert this file.\nPlease download QuickTime "
                                "from:\n\n   ") +
                        kQuickTimeDownload +
                        "\n\nand install it first.\nAttention:\nPlease choose \"Recommended\" option on the "
                        "installation.\n",
                    "Stop", MessageIcon::Error};
            return true;
        case MOVBRIDGE_END_MISSING_PARTS:
            *out = {"Minimum installation of QuickTime find. \nVantor Reelcast need at least <Recommended> "
                    "install of QuickTime.\nPlease install QuickTime again with <Recommended> or <Full> install "
                    "type.",
                    "Stop", MessageIcon::Error};
            return true;
        case MOVBRIDGE_END_CONVERT_ERROR:
            *out = {MOVBRIDGE_TEXT_CONVERT_ERROR, "Error", MessageIcon::Error};
            return true;
        case MOVBRIDGE_END_OPEN_FAILED:
        case MOVBRIDGE_END_NO_PICTURES:
            *out = {MOVBRIDGE_TEXT_OPEN_FAILED, "Error", MessageIcon::Error};
            return true;
        case MOVBRIDGE_END_INIT_ERROR:
            *out = {MOVBRIDGE_TEXT_INIT_ERROR, "Error", MessageIcon::Error};
            return true;
        default:
            return false;
    }
}

Point PreviewPosition(Point convertWindow, int pictureWidth, int previewWidth, int previewHeight) {
    return {convertWindow.x - (previewWidth - pictureWidth) / 2, convertWindow.y - previewHeight - 5};
}

Point CentredOn(int x, int y, int rw, int rh, int w, int h) {
    return {x + rw / 2 - w / 2, y + rh / 2 - h / 2};
}

int UnfoldStep(int halfHeight, int windowHeight) { return std::min(halfHeight + 2, windowHeight / 2); }

int FoldStep(int halfHeight) { return std::max(halfHeight - 2, 0); }

Band VisibleBand(int halfHeight, int windowHeight) {
    const int middle = windowHeight / 2;
    return {middle - halfHeight, middle + std::max(halfHeight, 1)};
}

bool EmptiedOutput::Empty(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    path_ = path;
    return true;
}

bool EmptiedOutput::RemoveIfUnwritten() {
    if (path_.empty()) return false;
    struct stat st;
    const bool empty = ::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
    const bool removed = empty && ::unlink(path_.c_str()) == 0;
    path_.clear();
    return removed;
}

bool OutputExists(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::string WrittenOutput(int convertMode, bool useMovbridge, const std::string& output) {
    const bool aviJob = !useMovbridge && (convertMode == kModeAllToAvi || convertMode == kModeAllToDivx);
    return aviJob ? AviOutputName(output) : output;
}

std::string JobMessageText(const std::string& message, const std::string& written) {
    struct stat st;
    if (jobs::IsWarning(message) || written.empty() || ::stat(written.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size == 0)
        return message;
    return message + "\n" + jobs::PartWrittenNotice(written);
}

}  // namespace reelcast::app
