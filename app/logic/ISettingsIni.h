// ISettingsIni (SETTINGSINI): the program's settings file, an INI file beside the
// program whose values all lie in the section "INI". Same component convention
// as the engine's: a fresh-instance factory and a process-wide one.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"

namespace reelcast::app {

class ISettingsIni : public IEngineComponent {
public:
    // Slot 4. The file becomes the program's folder + "/" + name. False when the
    // joined path does not fit its 260 characters.
    virtual bool SetFile(const char* name) = 0;
    // Slot 5. The value of key, or defaultValue, into buffer (size bytes, cut and
    // terminated). True.
    virtual bool ReadString(const char* key, const char* defaultValue, char* buffer, std::int32_t size) = 0;
    // Slot 6. Writes key; whether the file could be written.
    virtual bool WriteString(const char* key, const char* value) = 0;
    // Slot 7. The value read as "0x%x" hexadecimal text; defaultValue when the key
    // is missing or holds no such number.
    virtual std::int32_t ReadInt(const char* key, std::int32_t defaultValue) = 0;
    // Slot 8. Writes the value as "0x%x".
    virtual void WriteInt(const char* key, std::int32_t value) = 0;

protected:
    ~ISettingsIni() = default;
};

}  // namespace reelcast::app

extern "C" {
// A fresh instance (ended with Release()), or null.
reelcast::IEngineComponent* _NEW_SETTINGSINI();
// The process-wide instance; never released by callers. Take it from one thread.
reelcast::IEngineComponent* _NEW_00_SETTINGSINI();
}
