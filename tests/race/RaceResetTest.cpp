// The race reset: grid and winner ballast by LOOP, and the earlier session's end rules that the
// restart runs once more.
#include <cstring>

#include "support/RaceFixture.h"

using RaceReset = RaceFixture;

TEST_F(RaceReset, GridAndBallastFollowTheLoopSetting) {
    const struct {
        int loop, winnerBallast, drivers;
        std::vector<int> places;
        std::vector<float> kilograms;  // in race order; empty: no ballast messages at all
    } cases[] = {
        {4, 30, 4, {3, 2, 1, 0}, {30, 20, 10, 0}},
        {6, 0, 8, {5, 4, 3, 2, 1, 0, 6, 7}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {6, 0, 5, {4, 3, 2, 1, 0}, {0, 0, 0, 0, 0}},
        {2, 0, 3, {2, 1, 0}, {0, 0, 0}},
        {3, 0, 3, {0, 1, 2}, {}},
        {1, 20, 3, {0, 1, 2}, {0, 0, 0}},
        {4, 30, 1, {0}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("LOOP " + std::to_string(c.loop) + ", " + std::to_string(c.drivers));
        start(eventConfig("SESSIONS=1\n" + session(0, 2, "Race", 10, 0, 5),
                          {"LOOP=" + std::to_string(c.loop),
                           "WINNERBALLAST=" + std::to_string(c.winnerBallast)}));
        for (CRVClientConnection* d : attachDrivers(c.drivers))
            d->ballast = 7;
        at(0);
        take();
        printed([&] { server().resetRace(true); });
        std::vector<int> places;
        for (const CRVClientConnection* d : server().rankingList)
            places.push_back(d->gridPlace);
        EXPECT_EQ(places, c.places);
        std::vector<float> kilograms;
        for (const QueuedMessage& m : server().router.queue)
            if (m.data[0] == RV_BALLAST) {
                EXPECT_TRUE(m.client == server().rankingList[kilograms.size()] && m.reliable);
                std::memcpy(&kilograms.emplace_back(), m.data.data() + 1, 4);
            }
        EXPECT_EQ(kilograms, c.kilograms);
        EXPECT_EQ(server().rankingList.front()->ballast, 7);  // only sent, never stored
    }
}

TEST_F(RaceReset, TheLoopedRaceRerunsTheQualifyingEndRulesOnZeroedLaps) {
    for (int minLaps : {1, 0}) {
        SCOPED_TRACE(minLaps);
        start(eventConfig("SESSIONS=3\n" + session(0, 0, "Practice", 0, 0) +
                              session(1, 1, "Qualifying", 0, 0, 0, minLaps) +
                              session(2, 2, "Race", 0, 0, 2),
                          {"LOOP=1"}));
        CRVClientConnection *a = attach("Al"), *b = attach("Bo");
        at(0);
        at(10001);  // practice over
        lap(a, 1, 70000, 70000);
        lap(b, 1, 60000, 60000);
        at(10001 + 77001);  // past the grace of 1.1 x Al's lap
        at(87003);
        for (uint32_t n = 1; n <= 2; ++n) {
            lap(a, n, 60000, int32_t(60000 * n));
            lap(b, n, 61000, int32_t(61000 * n));
        }
        at(87004);  // both finished: the race ends and starts over
        EXPECT_FALSE(server().sequenceFinished);
        ASSERT_EQ(server().clients.size(), minLaps == 1 ? 0u : 2u);
        if (minLaps == 0) {  // nobody has a qualifying lap any more; the grid keeps the race order
            EXPECT_EQ(std::pair(a->gridPlace, b->gridPlace), std::pair(0, 1));
        }
        EXPECT_EQ(log("RACEEND", false),
                  "RACEEND,guid-Al\nLAP,guid-Al,1:00:000,0:30:000,2\n"
                  "LAP,guid-Bo,1:01:000,0:30:500,2\nSESSION,Race,2,0,1,0,0,0,2,0\n");
        // The qualifying results are written again, from the zeroed laps.
        EXPECT_EQ(results("Qualifying"),
                  resultsFile("Qualifying", 1, {"guid-Al 0 0 0 120000", "guid-Bo 0 0 0 122000"}));
    }
}

TEST_F(RaceReset, AResetInTheFirstSessionOrWithoutSessionsRunsNoEarlierRules) {
    start(eventConfig("SESSIONS=2\n" + session(0, 2, "Race", 0, 0, 5) +
                      session(1, 0, "Practice", 0, 0, 0, 3)));
    attach("Al");
    EXPECT_EQ(printed([&] { server().resetRace(false); }),
              "**** RESETTING RACE ****\nEvolving session -1 2\nCurrent session=0\n");
    EXPECT_EQ(server().clients.size(), 1u);
    start(eventConfig("SESSIONS=0\n"));
    printed([&] { server().resetRace(false); });
    EXPECT_EQ(server().current(), nullptr);
}
