// One whole event, practice to the flag, as the drivers and the operator see it.
#include "support/RaceFixture.h"

using Event = RaceFixture;

TEST_F(Event, PracticeQualifyingAndRaceWithTheirLogResultsAndGrid) {
    start(eventConfig("SESSIONS=3\n" + session(0, 0, "Practice", 0, 1) +
                      session(1, 1, "Qualifying", 0, 1, 0, 0, 2) +
                      session(2, 2, "Race", 10, 0, 3)));
    CRVClientConnection *a = attach("Al"), *b = attach("Bo"), *c = attach("Cy");
    server().startPoints.gridPoints = {{.px = 0}, {.px = 1}, {.px = 2}};  // told apart by x
    at(0);
    lap(a, 1, 90000, 90000);
    lap(b, 1, 88000, 88000);
    take();
    EXPECT_EQ(lap(a, 2, 87000, 177000), "lap completed 2\n1: Al 87000\n2: Bo 88000\n3: Cy 0\n");
    Bytes sheet = {RV_TIMESHEET, 3, 1, 2, 3};
    sheet.resize(102);
    putU32(sheet, 17, 87000), putU32(sheet, 21, 88000), putU32(sheet, 94, 999999999);
    sheet[77] = 2, sheet[78] = 1;
    sheet[92] = 1, sheet[93] = 0x10;  // one minute of the session left at 0:00, 10000 laps
    EXPECT_EQ(take(RV_TIMESHEET), (Sent{{a, sheet}, {b, sheet}, {c, sheet}}));
    at(70000);
    a->lastUpdateSeq = 5000, a->seqState = 2;  // a simulator that numbers its updates afresh
    at(70001);                                 // ten seconds after the end of its time
    EXPECT_EQ(std::pair(a->lastUpdateSeq, a->seqState), std::pair(0u, 0));

    const int64_t q = 70001;
    lap(a, 1, 85000, 85000);
    lap(a, 2, 84000, 169000);
    lap(a, 3, 83000, 252000);  // one lap more than the session allows
    lap(b, 1, 86000, 86000);
    lap(b, 2, 85500, 171500);
    lap(c, 1, 89000, 89000);
    // Nobody improves after the time: it waits 1.1 x the practice leader's qualifying lap.
    at(q + 60000 + 91300);
    take();
    at(q + 60000 + 91301);
    Sent chats;
    for (const char* text : {"Qualifying IS OVER", "Al COMPLETED 3 LAPS INSTEAD OF 2"})
        for (CRVClientConnection* to : {a, b, c})
            chats.push_back({to, chat(std::string("[SERVER]: ") + text)});
    EXPECT_EQ(take(RV_CHAT), chats);
    // The qualifying order, Al's extra lap voiding his time; x's high byte for 2.0, 0.0, 1.0.
    const int64_t r = q + 60000 + 91301 + 10000;
    at(r - 5000);
    EXPECT_EQ(byClient(take(RV_RACESTARTPOINTS), 4), "1:64 2:0 3:63 ");

    at(r);
    lap(a, 1, 100000, 100000);
    lap(b, 1, 101000, 101000);
    lap(c, 1, 103000, 103000);
    lap(a, 2, 100000, 200000);
    lap(b, 2, 100500, 201500);
    lap(a, 3, 100000, 300000);
    lap(c, 2, 102000, 205000);
    lap(b, 3, 100500, 302000);
    EXPECT_EQ(byClient(take(RV_RACEEVENT), 1), "1:0 2:0 3:0 1:1 1:3 3:2 2:2 ");
    at(r + 1);
    EXPECT_TRUE(server().sequenceFinished);

    EXPECT_EQ(log("SESSION,Qualifying"),
              "1:10:001,SESSION,Qualifying,1,0,1,0,2,0,0,60000\n"
              "1:10:001,LAP,guid-Al,1:25:000,0:42:500,1\n1:10:001,LAP,guid-Al,1:24:000,0:42:000,2\n"
              "1:10:001,LAP,guid-Al,1:23:000,0:41:500,3\n1:10:001,LAP,guid-Bo,1:26:000,0:43:000,1\n"
              "1:10:001,LAP,guid-Bo,1:25:500,0:42:750,2\n1:10:001,LAP,guid-Cy,1:29:000,0:44:500,1\n"
              "3:41:301,SESSION_START\n3:41:302,SESSION,Race,2,10000,1,0,0,0,3,0\n"
              "3:51:302,RACE_START\n3:51:302,SESSION_START\n"
              "3:51:302,LAP,guid-Al,1:40:000,0:50:000,1\n3:51:302,LAP,guid-Bo,1:41:000,0:50:500,1\n"
              "3:51:302,LAP,guid-Cy,1:43:000,0:51:500,1\n3:51:302,LAP,guid-Al,1:40:000,0:50:000,2\n"
              "3:51:302,LAP,guid-Bo,1:40:500,0:50:250,2\n3:51:302,RACEEND,guid-Al\n"
              "3:51:302,LAP,guid-Al,1:40:000,0:50:000,3\n3:51:302,LAP,guid-Cy,1:42:000,0:51:000,2\n"
              "3:51:302,LAP,guid-Bo,1:40:500,0:50:250,3\n");
    EXPECT_EQ(results("Practice"), resultsFile("Practice", 0,
                                               {"guid-Al 87000 0 2 177000",
                                                "guid-Bo 88000 0 1 88000", "guid-Cy 0 0 0 0"}));
    // Saved before the lap-count check takes Al's qualifying lap away.
    EXPECT_EQ(results("Qualifying"),
              resultsFile("Qualifying", 1,
                          {"guid-Al 83000 83000 3 252000", "guid-Bo 85500 85500 2 171500",
                           "guid-Cy 89000 89000 1 89000"}));
    EXPECT_EQ(results("Race"),
              resultsFile("Race", 2,
                          {"guid-Al 100000 0 3 300000", "guid-Bo 100500 0 3 302000",
                           "guid-Cy 102000 0 2 205000"}));
}
