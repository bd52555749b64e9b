// The operator's remote console: what each command does, and texts it cannot parse.
#include "support/RaceFixture.h"

using ConsoleCommands = RaceFixture;

TEST_F(ConsoleCommands, BallastPingsStartSequenceAndResetAndNothingMoreForWhatCannotBeDone) {
    start();
    auto run = [&](std::string text) {
        return printed([&] { server().runCommand((text += '\0').data()); });
    };
    const auto d = attachDrivers(5);
    d[1]->ping = 42;
    EXPECT_EQ(run("setBallast 0 25.9\n"), "parsing command: setBallast\n");
    EXPECT_EQ(d[0]->ballast, 25.9f);
    const auto sent = take();
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[0].bytes, chat("Setting 25 Kg of ballast for D1"));
    EXPECT_EQ(sent[5], (Queued{d[0], {RV_BALLAST, 0x33, 0x33, 0xcf, 0x41}}));
    EXPECT_EQ(run("pings"), "parsing command: pings\nD1 0 1\nD2 42 2\nD3 0 3\nD4 0 4\nD5 0 5\n");
    for (const char* bad : {"setBallast 5 10", "setBallast -1 10", "setBallast 0", "setBallast x 3",
                            "setBallast 0 heavy", "setBallast 0 nan", "setBallast 0 1e30"}) {
        EXPECT_EQ(run(bad), "parsing command: setBallast\n") << bad;
        EXPECT_TRUE(take().empty()) << bad;
    }
    EXPECT_EQ(run(""), "parsing command: \n");
    EXPECT_EQ(run("Pings"), "parsing command: Pings\n");
    EXPECT_EQ(run(std::string(1000, 'x')), "parsing command: " + std::string(1000, 'x') + "\n");

    server().sessions[0].started = 1;
    EXPECT_EQ(run("startRaceSequence"),
              "parsing command: startRaceSequence\nAdmin: startRaceSequence\n");
    EXPECT_EQ(server().sessions[0].startTime, uint64_t(server().serverTime + 20000));
    EXPECT_EQ(run("reset"),
              "parsing command: reset\n**** RESETTING RACE ****\nAutoballast=0.000000\n"
              "Autoballast=0.000000\nAutoballast=0.000000\nAutoballast=0.000000\n"
              "Autoballast=0.000000\nEvolving session -1 1\nCurrent session=0\n");
    EXPECT_TRUE(has(results("Practice"), "GUID=guid-D5"));  // saved before the restart
}
