// Clients leave when they fall silent or fall short of a session's required laps; nothing is
// sent to or read from them afterwards.
#include "support/RaceFixture.h"

using Removal = RaceFixture;

TEST_F(Removal, SilentClientsGoAfterAMinuteOnePerTurnButReplayedAndAddresslessOnesStay) {
    start();
    attach("Al");
    CRVClientConnection *b = attach("Bo"), *replayed = attach("Rep"), *local = attach("Loc");
    replayed->isReplayed = true;
    local->address = SocketAddress();
    b->lastSeenTime = 1;
    EXPECT_FALSE(has(at(59999, false), "freeing"));
    EXPECT_TRUE(at(60000, false).ends_with("freeing slot 0 60000 0\nClients=3\n"));
    EXPECT_TRUE(at(60001, false).ends_with("freeing slot 1 60001 1\nClients=2\n"));
    at(200000, false);
    EXPECT_EQ(server().clients, (std::vector{replayed, local}));
    EXPECT_EQ(server().rankingList, (std::vector{replayed, local}));
    EXPECT_FALSE(server().slotTaken[0] || server().slotTaken[1]);
    EXPECT_EQ(log("LOST", false), "LOST,guid-Al\nLOST,guid-Bo\n");
}

TEST_F(Removal, DriversShortOfTheRequiredLapsAreErasedEvenTheAdminWhoEndsTheSession) {
    start(eventConfig("SESSIONS=2\n" + session(0, 0, "Practice", 0, 10, 0, 1) +
                      session(1, 0, "Warmup", 0, 10)));
    CRVClientConnection* boss = attach("Boss");
    attach("Slow");
    CRVClientConnection* quick = attach("Quick");
    boss->isAdmin = true;
    at(0);
    lap(quick, 1, 60000, 60000);
    take();
    const std::string console = deliver(boss, adminCommand("", "nextses"));
    EXPECT_EQ(server().currentSession, 1);
    EXPECT_EQ(server().clients, (std::vector{quick}));
    EXPECT_EQ(server().qualifyList.size(), 0u);
    EXPECT_EQ(countOf(console, "erasing client\n"), 2u);
    // Only the one left hears about the session; the erased are told nothing more.
    Sent chats;
    for (const Queued& m : take())
        if (m.client != quick || m.bytes[0] == RV_CHAT)
            chats.push_back(m);
    EXPECT_EQ(
        chats,
        (Sent{{quick, chat("MOVE TO NEXT SESSION COMMANDED BY Boss")},
              {quick, chat("[SERVER}: Boss DIDN'T COMPLETE REQUIRED 1 LAPS. NOT QUALIFIED")},
              {quick, chat("[SERVER}: Slow DIDN'T COMPLETE REQUIRED 1 LAPS. NOT QUALIFIED")}}));
    at(1);
    EXPECT_TRUE(server().removedClients.empty());
    EXPECT_FALSE(has(log(), "LOST"));
    EXPECT_FALSE(server().slotTaken[0] || server().slotTaken[1]);
}
