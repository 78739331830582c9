// The folder of the skin in use. The main window sets it when it loads a skin;
// every window that shows a skin picture (the preview's welcome picture, the
// faces) names its files through it.
#pragma once

#include <string>

namespace reelcast::app {

// Skin folder number n beside the program: <programFolder>/SKIN<n>.
std::string SkinFolderPath(const std::string& programFolder, int n);

// The current skin folder; SKIN0 beside the program until a skin is chosen.
// Interface thread only.
std::string SkinFolder();
void SetSkinFolder(const std::string& folder);

// A file of the current skin ("face.bmp", "welcome.bmp", ...).
std::string SkinFile(const std::string& name);

}  // namespace reelcast::app
