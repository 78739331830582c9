#include <gtest/gtest.h>

#include <utility>

#include "platform/dynlib/DynLib.h"

namespace rp = reelcast::platform;

TEST(DynLib, WindowsNamesMapToSharedObjects) {
    for (const auto& [windows, shared] : {std::pair<const char*, const char*>{"OmbrixDll.dll", "libOmbrixDll.so"},
                                          {"nlame.DLL", "libnlame.so"}, {"Movbridge", "libMovbridge.so"},
                                          {"/opt/x/OmbrixDll.dll", "/opt/x/libOmbrixDll.so"},
                                          {"libm.so.6", "libm.so.6"}, {"libfoo.so", "libfoo.so"}})
        EXPECT_EQ(rp::SharedObjectName(windows), shared);
}

TEST(DynLib, DecorationIsDropped) {
    for (const auto& [exported, plain] : {std::pair<const char*, const char*>{"_NEW_OMBRIX@0", "_NEW_OMBRIX"},
                                          {"nlame_init@12", "nlame_init"}, {"plain", "plain"},
                                          {"odd@x1", "odd@x1"}, {"trailing@", "trailing@"}})
        EXPECT_EQ(rp::UndecoratedName(exported), plain);
}

TEST(DynLib, EngineLoadsByWindowsNameFromProgramFolderOrPath) {
    // The engine lives in bin/, not beside this test: load it by path.
    auto lib = rp::LoadLibrary(std::string(REELCAST_BIN_DIR) + "/OmbrixDll.dll");
    ASSERT_NE(lib, nullptr) << rp::LastLoadError();
    EXPECT_NE(rp::GetProcAddress(lib, "_NEW_OMBRIX@0"), nullptr);
    EXPECT_NE(rp::GetProcAddress(lib, "_NEW_00_MYVFW@0"), nullptr);
    EXPECT_EQ(rp::GetProcAddress(lib, "_NEW_NOTHING@0"), nullptr);
    rp::FreeLibrary(lib);

    EXPECT_EQ(rp::LoadLibrary("NoSuchLibraryAnywhere.dll"), nullptr);
    EXPECT_FALSE(rp::LastLoadError().empty());
    EXPECT_EQ(rp::GetProcAddress(nullptr, "x"), nullptr);
}
