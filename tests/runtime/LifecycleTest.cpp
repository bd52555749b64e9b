#include <gtest/gtest.h>

#include "support/ServerHarness.h"

TEST(Lifecycle, StartsOnAFreePortAndEntersTheFirstSession) {
    ServerHarness h;
    StdoutCapture out;
    h.start(false);
    std::string text = out.take();
    EXPECT_NE(text.find("***** rvServer v1.2.0 ******\n"), std::string::npos);
    EXPECT_NE(h.port(), 0);
    EXPECT_EQ(h.server->currentSession, 0);
    EXPECT_EQ(h.server->sessions[0].startTime, 30000u);
}
