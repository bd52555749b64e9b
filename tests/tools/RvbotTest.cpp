// Simulated drivers against the built server, the way the benchmark and the demo use them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "rvbot/BotFleet.h"
#include "support/ServerHarness.h"
#include "tools/ToolRunner.h"

// The whole handshake (request, acknowledged acceptance, start-up burst), relayed cars with
// their send stamps in packets sized for three clients, laps and chat, and the sign-off. The
// shipped demo folder must be a working event as it stands: drivers with no content files of
// their own are admitted and get a profile. With car content installed and no tyre file named,
// the tyre path is the car's tyre folder, which must not stall the start-up.
TEST(Rvbot, DriversAndASpectatorGetInSeeEachOtherAndSignOff) {
    TempFolder folder;
    std::filesystem::copy(RV_SOURCE_DIR "/demo", folder.path(),
                          std::filesystem::copy_options::recursive);
    folder.write("cars/gt_demo/rvdk/gt_demo.rvdk", "\x01");
    folder.makeFolder("cars/gt_demo/tyres");
    const uint16_t port = freePort();
    folder.write("cfg/rvservercfg.ini",
                 withEdits(folder.read("cfg/rvservercfg.ini"), {"PORT=" + std::to_string(port)}));
    pid_t pid = launch(folder.path(), {RV_SERVER_BINARY});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(answersStatus(port)) << folder.read("console.txt");

    FleetOptions o;
    o.port = port;
    o.drivers = 2;
    o.spectators = 1;
    o.seconds = 1.5;
    o.settleSeconds = 0.2;
    o.lapSeconds = 0.5;
    o.chatSeconds = 0.6;
    o.load = true;
    o.guidPrefix = "bot";
    BotFleet fleet(o);
    std::string error;
    ASSERT_TRUE(fleet.open(error)) << error;
    LoadReport r = fleet.run();
    stop(pid);

    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(folder.read("server/users/bot-1.rvuser"), "bot-1\n");
    EXPECT_EQ(r.admitted, 3);
    EXPECT_EQ(r.expectedSize, 2 + 23 * 2);
    EXPECT_EQ(r.badSizes, 0u);
    EXPECT_GT(r.packetsPerClientPerSecond, 10.0);
    // Each client sees both drivers' updates (the spectator sends none).
    EXPECT_GT(r.latencyMs.count, 3u * 2 * 10);
    EXPECT_LT(r.latencyMs.p50, 1000.0);
    const std::string console = folder.read("console.txt");
    EXPECT_EQ(countOf(console, "RV_MOVEDANDREADY\n"), 3u);
    EXPECT_EQ(countOf(console, "Client signing off\n"), 3u);
    EXPECT_EQ(countOf(console, "OOO packet"), 0u);
    EXPECT_EQ(countOf(console, "CRC failed"), 0u) << "car updates, pings and laps fit";
    EXPECT_NE(console.find("[rvbot 01]: rvbot 01: lap "), std::string::npos);
}

// A fleet that cannot have a socket for every client does not start at all.
TEST(Rvbot, RefusesMoreClientsThanItCanOpenSocketsFor) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int spare = ::dup(0);  // the lowest free descriptor tells how many are in use
    ::close(spare);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(spare + 3);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    BotFleet fleet({.drivers = 10});
    std::string error;
    const bool opened = fleet.open(error);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_FALSE(opened);
    EXPECT_EQ(error, "could open sockets for only 3 of 10 clients");
}

TEST(Rvbot, PercentilesAreNearestRank) {
    std::vector<double> samples;
    for (int i = 100; i >= 1; --i)
        samples.push_back(i);
    Distribution d = distributionOf(samples);
    EXPECT_EQ(d.count, 100u);
    EXPECT_EQ(d.p50, 50);
    EXPECT_EQ(d.p99, 99);
    EXPECT_EQ(d.max, 100);
    EXPECT_EQ(distributionOf({7}).p99, 7);
    EXPECT_EQ(distributionOf({}).max, 0);
}
