// Files the program keeps beside itself, apart from the skins and config.ini.
#pragma once

namespace reelcast::app {

// The user manual, opened by Help.
inline constexpr const char* kHelpFile = "Reelcast.html";
// Its section on the optional components, opened by "More Info...".
inline constexpr const char* kComponentsHelpAnchor = "components";

inline constexpr const char* kProgramTitle = "Vantor Reelcast";

}  // namespace reelcast::app
