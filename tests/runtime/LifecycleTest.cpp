#include <gtest/gtest.h>

#include "admission/CRVClientConnection.h"
#include "support/ServerHarness.h"

TEST(Lifecycle, StartsOnAFreePortEntersTheFirstSessionAndShutsDownOnce) {
    ServerHarness h;
    const std::string text = printed([&] { h.start(false); });
    EXPECT_TRUE(has(text, "***** rvServer v1.2.0 ******\n"));
    EXPECT_TRUE(has(text, " PORT 0\nBINDING\nmyport=0\nInit non-blocking socket mode\n"));
    EXPECT_TRUE(has(text,
                    "Init high performance timer...\nOne packet=51 51 17 21\n"
                    "1 car 16hz send = 0.796875 kByte (6.375000 kb)\nServer output at 16Hz\n"
                    "6 cars=23.9KB (191.2Kb)\n8 cars=44.6 (357.0Kb)\n10 cars=71.7 (573.8Kb)\n"
                    "15 cars=167.3 (1338.8Kb)\n20 cars=302.8 (2422.5Kb)\n\n"
                    "Server output with MEGAPACKETS at 16Hz\n6 cars=14.6KB (117.0Kb)\n"
                    "10 cars=37.0KB (296.2Kb)\nPSIZE=324\n15 cars=82.5KB (660.0Kb)\n"));
    EXPECT_LT(text.find("RUNNING @ "), text.find("BINDING\n"));
    EXPECT_LT(text.find("PSIZE=324\n"), text.find("Initializing message router\n"));
    EXPECT_NE(h.port(), 0);
    EXPECT_EQ(h.server->currentSession, 0);
    EXPECT_EQ(h.server->sessions[0].startTime, 30000u);

    h.server->clients.push_back(new CRVClientConnection());
    h.server->shutdown();
    EXPECT_TRUE(h.server->clients.empty());
    EXPECT_EQ(h.server->statistics, nullptr);
    h.server->shutdown();  // and once more from the destructor; nothing is freed twice
}
