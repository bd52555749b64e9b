// Race standings and time sheets: gaps of lapped drivers, the finishers' race events, and
// messages that never grow beyond their fixed sizes.
#include "support/RaceFixture.h"

namespace {

// Drivers D1 to Dn in order, with their gaps to the leader.
Bytes standings(const std::vector<int32_t>& gaps, int leaderLap) {
    Bytes m(msgsize::kStandings, 0);
    m[0] = RV_STANDINGS, m[1] = uint8_t(gaps.size()), m[77] = uint8_t(leaderLap);
    for (size_t i = 0; i < gaps.size(); ++i) {
        m[2 + i] = uint8_t(i + 1);
        putU32(m, 17 + 4 * i, uint32_t(gaps[i]));
    }
    return m;
}

class Standings : public RaceFixture {
  protected:
    void startRace(int drivers, int raceLaps = 5) {
        start(eventConfig("SESSIONS=1\n" + session(0, 2, "Race", 0, 0, raceLaps)));
        d = attachDrivers(drivers);
        at(0);
        take();
    }
    // The standings the last update broadcast.
    Bytes last() { return take(RV_STANDINGS).back().bytes; }
    std::vector<CRVClientConnection*> d;
};

TEST_F(Standings, LappedDriversShowUnknownThenLapsDownFinishersGetEventsAndOneLapIsNoWin) {
    startRace(4, 4);
    for (int32_t i = 0; int32_t t : {60000, 61000, 62000, 70000})
        lap(d[size_t(i++)], 1, t, t);
    EXPECT_EQ(last(), standings({0, 1000, 2000, 10000}, 2));
    lap(d[0], 2, 60000, 120000);  // the leader's own update: D2..D4 one lap down, not yet known
    EXPECT_EQ(last(), standings({0, -6666, -6666, -6666}, 3));
    lap(d[1], 2, 60000, 121000);
    EXPECT_EQ(last(), standings({0, 500 * 2, -6666, -6666}, 3));
    lap(d[0], 3, 60000, 180000);  // D3 and D4 are now two laps down
    EXPECT_EQ(last(), standings({0, -6666, -1, -1}, 4));
    lap(d[0], 4, 60000, 240000);  // the win
    EXPECT_TRUE(server().race.raceWon);
    lap(d[1], 3, 70000, 191000);
    lap(d[2], 2, 70000, 132000);  // third in the list at his own update
    lap(d[3], 2, 70000, 140000);  // fourth: a later finisher
    EXPECT_EQ(byClient(take(RV_RACEEVENT), 1), "1:1 1:3 2:2 3:2 4:3 ");
    EXPECT_EQ(lap(d[1], 4, 1, 1), "");  // a finisher's laps no longer count
    // The winner asking for the standings while on the winning lap count wins again.
    harness->advance(5000);
    take();
    deliver(d[0], {RV_STANDINGSREQUEST});
    EXPECT_EQ(take(RV_CHAT)[0].bytes, chat("[SERVER]: RACE WON BY D1"));
    EXPECT_EQ(server().race.raceWonTime, uint32_t(server().serverTime));
    EXPECT_EQ(countOf(log("RACEEND"), "RACEEND,guid-D1\n"), 2u);

    startRace(2, 1);  // a race of one lap is never won by laps
    lap(d[0], 1, 60000, 60000);
    lap(d[0], 2, 60000, 120000);
    EXPECT_FALSE(server().race.raceWon);
}

TEST_F(Standings, SeventeenDriversFillFifteenPlacesAndNoMore) {
    startRace(17);
    for (int i = 0; i < 17; ++i)
        lap(d[size_t(i)], 1, 60000 + i, 60000 + i);
    const Bytes race = standings({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, 2);
    EXPECT_EQ(last(), race);
    EXPECT_EQ(Bytes(server().race.lastStandings, server().race.lastStandings + race.size()), race);
    for (int type : {0, 1}) {
        SCOPED_TRACE(type);
        server().sessions[0].type = uint8_t(type);
        lap(d[16], uint32_t(10 + type), 50000, 50000);
        Bytes sheet = take(RV_TIMESHEET).back().bytes;
        ASSERT_EQ(sheet.size(), 102u);
        EXPECT_EQ(sheet[1], 15);
        // Practice puts the fastest lap first, qualifying those yet without a qualifying lap.
        EXPECT_EQ(sheet[2], type == 0 ? 17 : 1);
        EXPECT_EQ(sheet[77], type == 0 ? 2 : 1);
        EXPECT_EQ(sheet[91], 1);  // the fifteenth driver's laps, just before the minutes byte
    }
}

TEST_F(Standings, DriversBeyondTheValidLapLimitAreWarnedInPracticeAndQualifying) {
    start(eventConfig("SESSIONS=2\n" + session(0, 0, "Practice", 0, 10) +
                      session(1, 1, "Qualifying", 0, 10)));
    CRVClientConnection* max = attach("Max");
    server().race.maxValidLaps = 1;
    lap(max, 1, 60000, 60000);
    EXPECT_TRUE(take(RV_CHAT).empty());
    lap(max, 2, 50000, 110000);
    EXPECT_EQ(max->bestLap, 60000u);  // the lap beyond the limit is no best lap
    EXPECT_EQ(take(RV_CHAT)[0].bytes,
              chat("[SERVER]: PENALTY FOR Max, MAX QUALIFY LAPS INFRACTION"));
    server().currentSession = 1;
    lap(max, 3, 50000, 160000);
    EXPECT_EQ(take(RV_CHAT)[0].bytes, chat("[SERVER]: PENALTY FOR Max, MAX LAPS INFRACTION"));
}

}  // namespace
