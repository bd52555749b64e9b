// Lap reports, best laps, split times, focus and the qualifying list.
#include "support/RaceFixture.h"

TEST_F(ClientTest, RepeatedLapsAreIgnoredCountedOnesRelayedAndNoneCountWithoutASession) {
    CRVClientConnection *a = attach("Al"), *b = attach("Bo");
    EXPECT_EQ(lap(a, 1, 83456, 83456), "lap completed 1\n1: Al 83456\n2: Bo 0\n");
    EXPECT_EQ(lap(a, 1, 83456, 83456), "");
    take();
    lap(a, 3, 80000, 163456);
    EXPECT_EQ(a->laps, 2);
    const Bytes info = {
        RV_LAPINFO, a->id, 0x80, 0x7e, 0x02, 0,    0x80,
        0x38,       0x01,  0,    0x80, 0x38, 0x01, 0};  // total 163456, lap 80000, best 80000
    EXPECT_EQ(take(RV_LAPINFO), (Sent{{b, info}}));

    server().currentSession = -1;
    for (const Bytes& m :
         {lapMessage(4, 1, 1, 1), Bytes{RV_STANDINGSREQUEST}, Bytes{RV_QUALIFYLISTREQUEST},
          Bytes{RV_SPLIT, 1, 2, 3, 4, 5}, Bytes{RV_FOCUS}})
        deliver(a, m);
    EXPECT_EQ(a->laps, 2);
    EXPECT_TRUE(take(RV_STANDINGS).empty());
}

TEST_F(ClientTest, BestLapsFollowTheValidLapLimitAndQualifyingEndsOnlyOnAnImprovement) {
    CRVClientConnection *a = attach("Al"), *b = attach("Bo");
    lap(a, 1, 80000);
    lap(a, 2, 79000);
    EXPECT_EQ(server().race.sessionBestLap, RaceState::kNoSessionBest);  // practice
    server().sessions[0].type = kQualifying;
    lap(b, 1, 90000);
    EXPECT_EQ(std::pair(b->bestLap, b->qualifyBestLap), std::pair(90000u, 90000u));
    lap(b, 2, 91000);
    EXPECT_EQ(server().race.sessionBestLap, RaceState::kNoSessionBest);
    lap(b, 3, 89000);
    EXPECT_EQ(std::pair(server().race.sessionBestLap, server().race.sessionBestLapAux),
              std::pair(89000, 44500));
    // A lap of 0 ms is a best lap; as "none" it is replaced by the next one.
    lap(a, 3, 0);
    EXPECT_EQ(a->bestLap, 0u);
    lap(a, 4, 99000);
    EXPECT_EQ(a->bestLap, 99000u);
    lap(a, 5, -1500);  // negative times compare as the signed numbers they are
    EXPECT_EQ(int32_t(a->bestLap), -1500);
    a->laps = 10000;
    EXPECT_TRUE(lap(a, 6, -2000).starts_with("lap completed 10001\n"));
    EXPECT_EQ(int32_t(a->bestLap), -1500);  // counted, but beyond the valid-lap limit
    lap(a, 0xffffffffu, 1000);  // lap numbers wrap: the lap after 0xffffffff is a new one
    EXPECT_TRUE(lap(a, 0, 1000).starts_with("lap completed 10003\n"));

    // Once the qualifying time is over, only an improvement ends a driver's qualifying.
    CRVClientConnection *c = attach("Cy"), *d = attach("Di");
    server().sessions[0].startTime = 0;
    server().sessions[0].sessionTime = 999;  // over at the fixture's clock
    lap(c, 1, 90000);
    EXPECT_TRUE(c->qualifyDone);
    lap(d, 1, 90000);
    d->qualifyDone = false;
    lap(d, 2, 95000);  // slower: still out on track
    EXPECT_FALSE(d->qualifyDone);
    lap(c, 2, 80000);  // done: no more changes
    EXPECT_EQ(c->qualifyBestLap, 90000u);
}

TEST_F(ClientTest, SplitsGoToFollowersAsDeltasFocusSendsTheLapRecordAndTheQualifyList) {
    CRVClientConnection *a = attach("Al"), *b = attach("Bo"), *viewer = attach("Cam", true);
    EXPECT_EQ(deliver(viewer, {RV_FOCUS, 99}), "");
    EXPECT_EQ(viewer->focusId, viewer->id);
    EXPECT_EQ(deliver(viewer, {RV_FOCUS, a->id}), "Client Cam is focussing on Al\n");
    EXPECT_EQ(take(), (Sent{{viewer, Bytes(a->lapRecord, a->lapRecord + 14)}}));
    a->bestLapAux = 40000;
    deliver(a, {RV_SPLIT, 0x48, 0xa1, 0, 0, 0});  // 41288 ms
    EXPECT_EQ(take(), (Sent{{viewer, Bytes{RV_SPLIT, 0x08, 0x05, 0, 0, a->id}}}));
    deliver(b, {RV_SPLIT, 1});  // nobody follows Bo; a short split reads zeros
    EXPECT_TRUE(take().empty());

    server().qualifyList = {b, a};
    b->qualifyBestLap = 85000;
    deliver(viewer, {RV_QUALIFYLISTREQUEST});
    Bytes list = {RV_QUALIFYLIST, 2, b->id, a->id};
    putU32(list, 17, 85000);
    list.resize(77);
    EXPECT_EQ(take(), (Sent{{viewer, list}}));
}
