// The settings file: profile strings and the SettingsIni component over them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/logic/ISettingsIni.h"
#include "platform/dynlib/DynLib.h"
#include "platform/profile/Profile.h"

namespace {

using namespace reelcast;

// A settings file beside the test program, as SetFile places it; removed at the end.
class SettingsFile {
public:
    SettingsFile() : name_("settings-test-" + std::to_string(getpid()) + ".ini") {}
    ~SettingsFile() { std::remove(path().c_str()); }
    const std::string& name() const { return name_; }
    std::string path() const { return platform::ProgramFolder() + "/" + name_; }
    void Write(const std::string& text) const { std::ofstream(path()) << text; }
    std::string Read() const {
        std::ostringstream s;
        s << std::ifstream(path()).rdbuf();
        return s.str();
    }

private:
    std::string name_;
};

std::string Get(const char* section, const char* key, const char* def, const std::string& file,
                std::uint32_t size = 64) {
    char buf[64];
    platform::GetPrivateProfileString(section, key, def, buf, size, file.c_str());
    return buf;
}

TEST(Profile, ReadsSectionsAndKeysWithoutRegardToCase) {
    SettingsFile f;
    f.Write("; comment\r\n[Other]\r\nIndex=9\r\n[ini]\r\n  index =  2  \r\nName=\"a b\"\r\n");
    EXPECT_EQ(Get("INI", "Index", "0", f.path()), "2");
    EXPECT_EQ(Get("INI", "NAME", "", f.path()), "a b");
    EXPECT_EQ(Get("INI", "Missing", "dflt", f.path()), "dflt");
    EXPECT_EQ(Get("Nowhere", "Index", "d", f.path()), "d");
    EXPECT_EQ(Get("INI", "Index", "d", "/nonexistent/config.ini"), "d");
    EXPECT_EQ(Get("INI", "Name", "", f.path(), 3), "a ") << "cut to the buffer";
}

TEST(Profile, WritesKeepOtherLinesAndCreateWhatIsMissing) {
    SettingsFile f;
    ASSERT_TRUE(platform::WritePrivateProfileString("INI", "Index", "1", f.path().c_str()));
    ASSERT_TRUE(platform::WritePrivateProfileString("Other", "k", "v", f.path().c_str()));
    ASSERT_TRUE(platform::WritePrivateProfileString("ini", "INDEX", "3", f.path().c_str()));
    ASSERT_TRUE(platform::WritePrivateProfileString("INI", "Skin", "x", f.path().c_str()));
    EXPECT_EQ(f.Read(), "[INI]\nINDEX=3\nSkin=x\n[Other]\nk=v\n");
    ASSERT_TRUE(platform::WritePrivateProfileString("INI", "Skin", nullptr, f.path().c_str()));
    EXPECT_EQ(f.Read(), "[INI]\nINDEX=3\n[Other]\nk=v\n");
    EXPECT_FALSE(platform::WritePrivateProfileString("INI", "k", "v", "/nonexistent/dir/config.ini"));
}

class SettingsIniTest : public ::testing::Test {
protected:
    void SetUp() override {
        ini_ = static_cast<app::ISettingsIni*>(_NEW_SETTINGSINI());
        ASSERT_NE(ini_, nullptr);
        ASSERT_TRUE(ini_->SetFile(file_.name().c_str()));
    }
    void TearDown() override {
        if (ini_) ini_->Release();
    }
    SettingsFile file_;
    app::ISettingsIni* ini_ = nullptr;
};

TEST_F(SettingsIniTest, ReadIntParsesHexadecimalText) {
    file_.Write("[INI]\nMask=0x1f\nPlain=31\n");
    EXPECT_EQ(ini_->ReadInt("Mask", 0), 31);
    EXPECT_EQ(ini_->ReadInt("Missing", 7), 7);
    EXPECT_EQ(ini_->ReadInt("Plain", 7), 7) << "decimal text is not the 0x form";
    ini_->WriteInt("Count", 255);
    EXPECT_EQ(ini_->ReadInt("Count", 0), 255);
    char buf[20];
    ASSERT_TRUE(ini_->ReadString("Count", "", buf, sizeof buf));
    EXPECT_STREQ(buf, "0xff");
}

TEST_F(SettingsIniTest, StringsLiveInTheIniSectionOfTheProgramFolderFile) {
    ASSERT_TRUE(ini_->WriteString("Index", "2"));
    EXPECT_EQ(Get("INI", "Index", "", file_.path()), "2");
    EXPECT_FALSE(ini_->SetFile(std::string(300, 'x').c_str())) << "longer than a path field";
}

TEST(SettingsIniFactories, SharedInstanceIsOneAndFreshOnesAreNew) {
    IEngineComponent* a = _NEW_00_SETTINGSINI();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(_NEW_00_SETTINGSINI(), a);
    IEngineComponent* b = _NEW_SETTINGSINI();
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    b->Release();
}

}  // namespace
