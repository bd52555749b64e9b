#include <gtest/gtest.h>

#include "support/ServerHarness.h"
#include "transport/CTimer.h"
#include "transport/ServerStatistics.h"

// 16777217 has no single-precision float: it is rounded to the nearest one.
TEST(TimerText, MinutesSecondsMillisThroughSinglePrecision) {
    const std::pair<int32_t, const char*> cases[] = {
        {83456, "1:23:456"},      {-1500, "-0:01:500"},        {0, "0:00:000"},
        {3600000, "60:00:000"},   {61234, "1:01:234"},         {16777215, "279:37:215"},
        {16777217, "279:37:216"}, {INT32_MIN, "-35791:23:648"}};
    for (auto [ms, text] : cases)
        EXPECT_EQ(CTimer::formatTime(ms), text) << ms;
}

TEST(TrafficStatistics, ReportsEveryTenSecondsOfServerTimeWithNominalRates) {
    ServerHarness h;
    h.start();
    TrafficCounters& stats = h.server->router.traffic;
    auto file = [&] {
        h.server->flushOutput();
        return h.folder.read("serverStats.txt");
    };
    stats.bytesWritten = 20480;
    stats.bytesRead = 15;
    stats.messagesWritten = 3;
    stats.messagesRead = 25;
    h.advance(9999);
    EXPECT_EQ(file(), "");
    h.advance(1);
    const std::string first =
        "\n\nSERVER TIME: 0:10:000\n"
        "I/O, WRITE: 20480 (2.0 KB/s) READ: 15 (0.0 KB/s)\n"
        "ERRORS/BLOCKS WRITE: 0 (0.0 /s) READ: 0 (0.0 /s)\n"
        "MESSAGES WRITE: 3 (0.3 /s) READ: 25 (2.5 /s)\n";
    EXPECT_EQ(file(), first);
    EXPECT_EQ(stats.bytesWritten + stats.bytesRead + stats.messagesWritten + stats.messagesRead, 0);
    h.advance(9999);
    EXPECT_EQ(file(), first);
    h.advance(2);
    EXPECT_EQ(file(), first +
                          "\n\nSERVER TIME: 0:20:001\n"
                          "I/O, WRITE: 0 (0.0 KB/s) READ: 0 (0.0 KB/s)\n"
                          "ERRORS/BLOCKS WRITE: 0 (0.0 /s) READ: 0 (0.0 /s)\n"
                          "MESSAGES WRITE: 0 (0.0 /s) READ: 0 (0.0 /s)\n");
}
