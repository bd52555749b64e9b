#include <gtest/gtest.h>

#include <regex>

#include "platform/Platform.h"
#include "support/ServerHarness.h"

TEST(EventLog, OneFileNamedByLocalTimeStartingWithTheStartLine) {
    ServerHarness h;
    const std::string minute = platform::localTimeText("%m_%d_%H_%M");
    h.start();
    std::vector<std::string> files = h.folder.list("server/logs");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(files[0], std::regex(R"(rvserverlog\[\d\d_\d\d_\d\d_\d\d\]\.txt)")))
        << files[0];
    EXPECT_EQ(files[0].substr(0, 18), "rvserverlog[" + minute.substr(0, 6)) << "month and day";
    EXPECT_EQ(h.server->logger.fileName(), "server/logs/" + files[0]);

    h.server->serverTime = 61234;
    h.server->logger.log("LAP,guid-a,Ann,1:01:234,3", 2);
    h.server->serverTime = 0x80000000ll + 5;  // the low 32 bits read as a negative count
    h.server->logger.log("LOST,guid-a", 0);
    h.server->flushOutput();
    std::string text = h.folder.read("server/logs/" + files[0]);
    const std::string start = "0:00:000,START,testring,short,gt1;gt2;\n";
    EXPECT_EQ(text.substr(0, start.size()), start);
    const std::string tail = "1:01:234,LAP,guid-a,Ann,1:01:234,3\n-35791:23:648,LOST,guid-a\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}
