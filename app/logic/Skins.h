// Skins beside the program: the folders SKIN0, SKIN1, ... (numbered without
// gaps; the first missing number ends the list), each with face.bmp, skin.ini,
// ctrl<N>.bmp and welcome.bmp, and the skin number kept in config.ini.
#pragma once

#include <string>
#include <vector>

namespace reelcast::app {

inline constexpr int kSkinButtonCount = 10;

// What each of the main window's buttons shows on its faces (button N at N - 1),
// and the hints of those that have one.
inline constexpr const char* kSkinButtonLabels[kSkinButtonCount] = {
    "MPG1", "MPG2", "VCD", "DVD", "DivX", "AVI", "Exit", "Menu", "Skin", "Help"};
inline constexpr const char* kSkinButtonHints[kSkinButtonCount] = {
    "", "", "", "", "", "", "Exit", "ViewMenu", "ChangeSkin", "Help"};

inline constexpr const char* kSkinFaceFile = "face.bmp";
inline constexpr const char* kSkinIniFile = "skin.ini";
inline constexpr const char* kSkinWelcomeFile = "welcome.bmp";
inline constexpr const char* kSkinControlsSection = "Controls";
// skin.ini's section is read as the original read it, into 10000 characters.
inline constexpr int kSkinSectionChars = 10000;

// Button faces: four of equal width side by side (normal, pressed, hot, disabled).
inline constexpr int kSkinFacesPerButton = 4;

inline constexpr const char* kConfigFile = "config.ini";
inline constexpr const char* kConfigSection = "INI";
inline constexpr const char* kSkinIndexKey = "Index";
// "Index" is read into 10 characters, so at most 9 are taken.
inline constexpr int kSkinIndexChars = 10;

// One line "N=X,Y" of skin.ini: button N placed with its left edge at X and its
// top at Y in the face picture.
struct SkinControl {
    int number = 0;
    int left = 0;
    int top = 0;
    bool operator==(const SkinControl&) const = default;
};

// The leading decimal number of text (blanks and a sign allowed, as atoi reads
// it); 0 when there is none.
int LenientNumber(const std::string& text);

// "ctrl<N>.bmp".
std::string SkinControlFile(int number);

// The lines of section "Controls", in file order. A line without "=" or ","
// gives 0 for what is missing.
std::vector<SkinControl> ParseSkinControls(const std::vector<std::string>& lines);

// What a skin folder offers before any picture is decoded. `usable` is false when
// face.bmp or skin.ini is missing or empty, or no line of skin.ini names one of
// the ten buttons: such a skin is not applied.
struct SkinDescription {
    std::string folder;
    std::vector<SkinControl> controls;  // only lines naming buttons 1..10
    bool usable = false;
    std::string problem;                // why not usable, for the user
};
SkinDescription DescribeSkin(const std::string& folder);

// Whether SKIN<n> exists beside the program.
bool SkinExists(const std::string& programFolder, int n);
// SKIN0, SKIN1, ... up to the first missing number.
int CountSkins(const std::string& programFolder);
// "ChangeSkin": the next skin, or SKIN0 after the last.
int NextSkin(const std::string& programFolder, int current);

// The skin menu holds skin i at item 2 i, with a separator between neighbours.
inline int SkinMenuItem(int skin) { return 2 * skin; }
inline int SkinOfMenuItem(int item) { return item / 2; }

// config.ini beside the program.
std::string ConfigPath(const std::string& programFolder);
// The skin number kept in config.ini; 0 when there is none.
int ReadSkinIndex(const std::string& configPath);
bool WriteSkinIndex(const std::string& configPath, int index);

}  // namespace reelcast::app
