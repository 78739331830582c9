// Skin files, the skin list and config.ini's "Index", without a window.
#include <gtest/gtest.h>

#include <filesystem>

#include "DesktopTestSupport.h"
#include "app/logic/Skins.h"
#include "platform/profile/Profile.h"

namespace ra = reelcast::app;
using desktop_test::ScratchFolder;

namespace {

struct ControlLine {
    const char* line;
    ra::SkinControl expected;
};

class SkinIniLine : public ::testing::TestWithParam<ControlLine> {};

TEST_P(SkinIniLine, ReadsNumberLeftAndTop) {
    const auto controls = ra::ParseSkinControls({GetParam().line});
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SkinIniLine,
    ::testing::Values(ControlLine{"3=120,45", {3, 120, 45}}, ControlLine{"10= 7 , 8", {10, 7, 8}},
                      ControlLine{"x=1,2", {0, 1, 2}}, ControlLine{"4=15", {4, 15, 0}},
                      ControlLine{"5=a,b", {5, 0, 0}}, ControlLine{"", {0, 0, 0}},
                      ControlLine{"6=-3,2x", {6, -3, 2}},
                      ControlLine{"7=99999999999,1", {7, 2147483647, 1}}));

TEST(SkinIni, KeepsFileOrderAndOnlyTheTenButtons) {
    ScratchFolder dir;
    desktop_test::MakeSkin(dir.path(), 0, 40, 30, 1, 0);
    desktop_test::WriteText(dir / "SKIN0/skin.ini",
                            "[Other]\n1=9,9\n[Controls]\n; a comment\n9=1,2\n0=5,5\n11=3,3\n2=4,5\n"
                            "[More]\n3=1,1\n");
    const auto skin = ra::DescribeSkin(dir / "SKIN0");
    ASSERT_TRUE(skin.usable) << skin.problem;
    EXPECT_EQ(skin.controls, (std::vector<ra::SkinControl>{{9, 1, 2}, {2, 4, 5}}));
}

// A skin the program must not apply: the window keeps its previous one.
struct BrokenSkin {
    const char* name;
    const char* face;  // null: keep the good face.bmp; "": empty file; "-": none
    const char* ini;   // likewise for skin.ini
};

class UnusableSkin : public ::testing::TestWithParam<BrokenSkin> {};

TEST_P(UnusableSkin, IsRefusedWithAReason) {
    ScratchFolder dir;
    desktop_test::MakeSkin(dir.path(), 0, 40, 30, 1, 2);
    const std::string skin = dir / "SKIN0";
    auto replace = [](const std::string& path, const char* content) {
        if (!content) return;
        std::filesystem::remove(path);
        if (std::string(content) != "-") desktop_test::WriteText(path, content);
    };
    replace(skin + "/face.bmp", GetParam().face);
    replace(skin + "/skin.ini", GetParam().ini);
    const auto d = ra::DescribeSkin(skin);
    EXPECT_FALSE(d.usable);
    EXPECT_FALSE(d.problem.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnusableSkin,
    ::testing::Values(BrokenSkin{"NoFace", "-", nullptr}, BrokenSkin{"EmptyFace", "", nullptr},
                      BrokenSkin{"NoIni", nullptr, "-"}, BrokenSkin{"EmptyIni", nullptr, ""},
                      BrokenSkin{"NoControlsSection", nullptr, "[Buttons]\n1=2,3\n"},
                      BrokenSkin{"NoKnownButton", nullptr, "[Controls]\n0=1,1\n12=1,1\nrubbish\n"},
                      BrokenSkin{"Binary", nullptr, "\x01\x02\xff\xfe[Cont"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SkinList, EndsAtTheFirstMissingNumberAndWrapsAround) {
    ScratchFolder dir;
    for (int n : {0, 1, 2, 4}) std::filesystem::create_directories(dir / ("SKIN" + std::to_string(n)));
    EXPECT_EQ(ra::CountSkins(dir.path()), 3);
    EXPECT_EQ(ra::NextSkin(dir.path(), 0), 1);
    EXPECT_EQ(ra::NextSkin(dir.path(), 1), 2);
    EXPECT_EQ(ra::NextSkin(dir.path(), 2), 0);  // SKIN3 is missing, SKIN4 is never reached
    EXPECT_EQ(ra::NextSkin(dir.path(), -7), 0);
    EXPECT_EQ(ra::NextSkin(dir.path(), 2147483647), 0);
}

TEST(SkinList, WithTwoSkinsAndIndexOneChangeSkinGoesBackToTheFirst) {
    ScratchFolder dir;
    for (int n : {0, 1}) std::filesystem::create_directories(dir / ("SKIN" + std::to_string(n)));
    EXPECT_EQ(ra::NextSkin(dir.path(), 1), 0);
    EXPECT_EQ(ra::SkinOfMenuItem(4), 2);  // skin, separator, skin, separator, skin
}

TEST(ConfigIndex, MissingFileOrKeyGivesTheFirstSkin) {
    ScratchFolder dir;
    EXPECT_EQ(ra::ReadSkinIndex(dir / "config.ini"), 0);
    desktop_test::WriteText(dir / "config.ini", "[INI]\nOther=0x5\n");
    EXPECT_EQ(ra::ReadSkinIndex(dir / "config.ini"), 0);
}

TEST(ConfigIndex, WrittenAsDecimalBesideOtherSettings) {
    ScratchFolder dir;
    desktop_test::WriteText(dir / "config.ini", "[INI]\nLast=0x1f\n");
    ASSERT_TRUE(ra::WriteSkinIndex(dir / "config.ini", 12));
    EXPECT_EQ(ra::ReadSkinIndex(dir / "config.ini"), 12);
    char last[20];
    reelcast::platform::GetPrivateProfileString("INI", "Last", "", last, sizeof last,
                                                (dir / "config.ini").c_str());
    EXPECT_STREQ(last, "0x1f");
    EXPECT_NE(desktop_test::ReadText(dir / "config.ini").find("Index=12"), std::string::npos);
}

class ConfigIndexText : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(ConfigIndexText, IsReadLeniently) {
    ScratchFolder dir;
    desktop_test::WriteText(dir / "config.ini", std::string("[INI]\nIndex=") + GetParam().first + "\n");
    EXPECT_EQ(ra::ReadSkinIndex(dir / "config.ini"), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Texts, ConfigIndexText,
                         ::testing::Values(std::make_pair("2", 2), std::make_pair("abc", 0),
                                           std::make_pair("3rd", 3), std::make_pair("", 0),
                                           // only nine characters are read
                                           std::make_pair("1234567890123", 123456789)));

TEST(ProfileSection, StopsWhereTheCallersBufferEnds) {
    ScratchFolder dir;
    desktop_test::WriteText(dir / "s.ini", "[Controls]\n1=10,20\n2=30,40\n");
    const std::string path = dir / "s.ini";
    const char* file = path.c_str();
    EXPECT_EQ(reelcast::platform::GetPrivateProfileSection("controls", 100, file).size(), 2u);
    // "1=10,20" and its terminator, plus the final one, fit in 9 characters.
    EXPECT_EQ(reelcast::platform::GetPrivateProfileSection("Controls", 9, file).size(), 1u);
    EXPECT_TRUE(reelcast::platform::GetPrivateProfileSection("Controls", 8, file).empty());
    EXPECT_TRUE(reelcast::platform::GetPrivateProfileSection("Missing", 100, file).empty());
}

}  // namespace
