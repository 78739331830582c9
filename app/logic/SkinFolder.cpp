#include "app/logic/SkinFolder.h"

#include "platform/dynlib/DynLib.h"

namespace reelcast::app {
namespace {

std::string& Current() {
    static std::string folder = SkinFolderPath(platform::ProgramFolder(), 0);
    return folder;
}

}  // namespace

std::string SkinFolderPath(const std::string& programFolder, int n) {
    return programFolder + "/SKIN" + std::to_string(n);
}

std::string SkinFolder() { return Current(); }

void SetSkinFolder(const std::string& folder) { Current() = folder; }

std::string SkinFile(const std::string& name) { return Current() + "/" + name; }

}  // namespace reelcast::app
