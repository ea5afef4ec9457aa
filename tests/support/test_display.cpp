// Linked into every test program that needs X: its own server for the whole
// run (see tools/driver/display.h).
#include <gtest/gtest.h>

#include "tools/driver/display.h"

namespace {

class PrivateDisplay : public testing::Environment {
    void SetUp() override { ASSERT_TRUE(use_private_display()) << "Xvfb did not start"; }
};

const auto* display = testing::AddGlobalTestEnvironment(new PrivateDisplay);

}  // namespace
