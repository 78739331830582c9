#include <gtest/gtest.h>

#include "platform/dynlib/DynLib.h"

namespace rp = reelcast::platform;

TEST(DynLib, WindowsNamesMapToSharedObjects) {
    EXPECT_EQ(rp::SharedObjectName("OmbrixDll.dll"), "libOmbrixDll.so");
    EXPECT_EQ(rp::SharedObjectName("nlame.DLL"), "libnlame.so");
    EXPECT_EQ(rp::SharedObjectName("Movbridge"), "libMovbridge.so");
    EXPECT_EQ(rp::SharedObjectName("/opt/x/OmbrixDll.dll"), "/opt/x/libOmbrixDll.so");
    EXPECT_EQ(rp::SharedObjectName("libm.so.6"), "libm.so.6");
    EXPECT_EQ(rp::SharedObjectName("libfoo.so"), "libfoo.so");
}

TEST(DynLib, DecorationIsDropped) {
    EXPECT_EQ(rp::UndecoratedName("_NEW_OMBRIX@0"), "_NEW_OMBRIX");
    EXPECT_EQ(rp::UndecoratedName("nlame_init@12"), "nlame_init");
    EXPECT_EQ(rp::UndecoratedName("plain"), "plain");
    EXPECT_EQ(rp::UndecoratedName("odd@x1"), "odd@x1");
    EXPECT_EQ(rp::UndecoratedName("trailing@"), "trailing@");
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
