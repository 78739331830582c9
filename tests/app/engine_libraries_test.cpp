// Binding the engine and the bridge by their Windows file names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/logic/EngineLibraries.h"
#include "engine/media/IMediaInfo.h"

namespace {

using namespace reelcast::app;

class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/reelcast-bind-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }
    void Link(const std::string& target, const std::string& name) const {
        ASSERT_EQ(symlink(target.c_str(), (path_ + "/" + name).c_str()), 0);
    }

private:
    std::string path_;
};

bool Exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

const std::string kBin = REELCAST_BIN_DIR;

TEST(EngineLibraries, NamesTheFirstLibraryThatIsMissing) {
    TempFolder dir;
    std::string missing;
    EXPECT_FALSE(BindEngineLibraries(missing, dir.path()));
    EXPECT_EQ(missing, "OmbrixDll.dll");

    dir.Link(kBin + "/libOmbrixDll.so", "libOmbrixDll.so");
    EXPECT_FALSE(BindEngineLibraries(missing, dir.path()));
    EXPECT_EQ(missing, "Movbridge.dll");
    EXPECT_EQ(BoundFactories().newOmbrix, nullptr) << "a failed bind leaves nothing bound";
    EXPECT_FALSE(NewMediaProbe());
}

TEST(EngineLibraries, NamesAMissingExport) {
    TempFolder dir;
    dir.Link(kBin + "/libOmbrixDll.so", "libOmbrixDll.so");
    // A library without the bridge's factory stands in for a wrong Movbridge.dll.
    dir.Link(kBin + "/libOmbrixDll.so", "libMovbridge.so");
    std::string missing;
    EXPECT_FALSE(BindEngineLibraries(missing, dir.path()));
    EXPECT_EQ(missing, "_NEW_MOVBRIDGE@0 (Movbridge.dll)");
}

TEST(EngineLibraries, BindsTheBuiltLibrariesAndCreatesThroughThem) {
    if (!Exists(kBin + "/libMovbridge.so")) GTEST_SKIP() << "the bridge library is not built";
    std::string missing;
    ASSERT_TRUE(BindEngineLibraries(missing, kBin)) << missing;
    EXPECT_TRUE(missing.empty());
    auto probe = NewMediaProbe();
    ASSERT_TRUE(probe);
    EXPECT_FALSE(probe->Open("/nonexistent/file.avi", false));
    probe.reset();
    SetBoundFactories({});
}

}  // namespace
