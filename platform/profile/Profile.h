// Stand-in for the profile-string services over INI files: sections in square
// brackets, "key=value" lines, names compared without regard to case.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reelcast::platform {

// GetPrivateProfileString: copies the value of key in section of file (or
// defaultValue when the file, section or key is missing) into buffer, cut to
// size - 1 characters and terminated. Blanks around the value are dropped, and
// one pair of enclosing quotation marks. Answers the characters copied.
std::uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                      char* buffer, std::uint32_t size, const char* file);

// WritePrivateProfileString: sets key in section, creating the file, the section
// or the key as needed and keeping every other line as it was. A null value
// removes the key. The file is replaced whole, so a reader never sees it half
// written. False when it cannot be written.
bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file);

// GetPrivateProfileSection: the "key=value" lines of section in file order,
// blanks around them dropped, as many as fit in a buffer of size characters
// holding each line with its terminator and a final one. Empty when the file
// or the section is missing.
std::vector<std::string> GetPrivateProfileSection(const char* section, std::uint32_t size,
                                                  const char* file);

}  // namespace reelcast::platform
