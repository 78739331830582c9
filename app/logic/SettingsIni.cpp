#include <cstdio>
#include <cstring>
#include <string>

#include "app/logic/ISettingsIni.h"
#include "engine/core/Component.h"
#include "platform/dynlib/DynLib.h"
#include "platform/profile/Profile.h"

namespace reelcast::app {
namespace {

constexpr const char* kSection = "INI";
constexpr std::size_t kPathChars = 260;

class SettingsIni final : public core::Component<ISettingsIni, SettingsIni> {
public:
    bool Init() override {
        path_[0] = '\0';
        return true;
    }

    bool SetFile(const char* name) override {
        const std::string full = platform::ProgramFolder() + "/" + (name ? name : "");
        if (full.size() >= kPathChars) return false;
        std::memcpy(path_, full.c_str(), full.size() + 1);
        return true;
    }

    bool ReadString(const char* key, const char* defaultValue, char* buffer, std::int32_t size) override {
        if (!buffer || size <= 0) return true;
        platform::GetPrivateProfileString(kSection, key, defaultValue, buffer, static_cast<std::uint32_t>(size),
                                          path_);
        return true;
    }

    bool WriteString(const char* key, const char* value) override {
        return platform::WritePrivateProfileString(kSection, key, value, path_);
    }

    std::int32_t ReadInt(const char* key, std::int32_t defaultValue) override {
        char fallback[20];
        std::snprintf(fallback, sizeof fallback, "0x%x", static_cast<unsigned>(defaultValue));
        char text[20];
        ReadString(key, fallback, text, sizeof text);
        unsigned value = 0;
        if (std::sscanf(text, "0x%x", &value) != 1) return defaultValue;
        return static_cast<std::int32_t>(value);
    }

    void WriteInt(const char* key, std::int32_t value) override {
        char text[20];
        std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
        WriteString(key, text);
    }

private:
    char path_[kPathChars];
};

}  // namespace
}  // namespace reelcast::app

REELCAST_EXPORT_COMPONENT(SETTINGSINI, ::reelcast::app::SettingsIni)
