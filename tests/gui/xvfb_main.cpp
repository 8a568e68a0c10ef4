// main() of the test programs that run against a real X server: an Xvfb of
// their own for the whole run (DISPLAY points at it), then the tests.
#include <gtest/gtest.h>

#include "tests/gui/XvfbServer.h"

namespace {

class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.error(); }
    void TearDown() override { server.stop(); }

private:
    guitest::XvfbServer server;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);
    return RUN_ALL_TESTS();
}
