// The AVI test program's environment.
#include <cstdlib>

#include <gtest/gtest.h>

#include "AviTestSupport.h"

namespace {

// The registry store of the whole run lives in a temporary folder, so the tests
// neither read nor change the user's settings.
class IsolatedConfig : public ::testing::Environment {
public:
    void SetUp() override { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }

private:
    avitest::TempDir dir_;
};

const auto* const g_config = ::testing::AddGlobalTestEnvironment(new IsolatedConfig);

}  // namespace
