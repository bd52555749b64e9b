#include "support/ServerHarness.h"

TEST(EventLog, OneFileNamedByLocalTimeWithTimeStampedLines) {
    ServerHarness h;
    h.start();
    const std::string name = std::string("rvserverlog[") + kLocalTime + "].txt";
    EXPECT_EQ(h.folder.list("server/logs"), std::vector{name});
    h.server->serverTime = 61234;
    h.server->logger.log("LAP,guid-a,Ann,1:01:234,3", 2);
    h.server->serverTime = 0x80000000ll + 5;  // the low 32 bits read as a negative count
    h.server->logger.log("LOST,guid-a", 0);
    h.server->flushOutput();
    EXPECT_EQ(h.folder.read("server/logs/" + name),
              "0:00:000,START,testring,short,gt1;gt2;\n"
              "0:00:000,SESSION,Practice,0,30000,1,0,0,0,5,600000\n"
              "1:01:234,LAP,guid-a,Ann,1:01:234,3\n-35791:23:648,LOST,guid-a\n");
}
