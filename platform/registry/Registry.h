// The current user's registry (HKEY_CURRENT_USER): keys named by paths such as
// "Software\VantorReelcast\Lame", each with sub-keys and a default (unnamed)
// string value, as RegCreateKey / RegSetValue / RegQueryValue see them.
//
// The store is the text file $XDG_CONFIG_HOME/VantorReelcast/registry (default
// ~/.config/...), one "key path<TAB>value" line per key that has a default value,
// read at each query and rewritten (through a temporary file and a rename) at each
// change. Calls are safe from any thread of the process.
#pragma once

#include <string>

namespace reelcast::platform::registry {

// The key path of sub-key `sub` under `key` ("A\B" + "c" -> "A\B\c").
std::string JoinKey(const std::string& key, const std::string& sub);

// RegSetValue(HKEY_CURRENT_USER\key, sub, REG_SZ, value): creates the key and its
// sub-key as needed and sets the sub-key's default value. False when the store
// cannot be written.
bool SetValue(const std::string& key, const std::string& sub, const std::string& value);

// RegQueryValue: the default value of key\sub; false when there is none (the
// caller then uses its own default).
bool QueryValue(const std::string& key, const std::string& sub, std::string* value);

// Removes the key and everything below it. False when the store cannot be written.
bool DeleteKey(const std::string& key);

// The file holding the store.
std::string StorePath();

}  // namespace reelcast::platform::registry
