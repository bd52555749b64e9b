// Clients leave in one way: when they sign off or fall silent, and when they fall short of a
// session's required laps. Nothing is sent to or read from them afterwards.
#include "support/RaceFixture.h"

namespace {

using Removal = RaceFixture;

TEST_F(Removal, SilentClientsGoAfterAMinuteOnePerTurnButReplayedAndAddresslessOnesStay) {
    start();
    attach("Al");
    CRVClientConnection* b = attach("Bo");
    CRVClientConnection* replayed = attach("Rep");
    replayed->isReplayed = true;
    CRVClientConnection* local = attach("Loc");
    local->address = SocketAddress();
    b->lastSeenTime = 1;
    // (The client without an address makes the socket complain about its car packets.)
    EXPECT_EQ(at(59999, false).find("freeing"), std::string::npos);
    EXPECT_TRUE(at(60000, false).ends_with("freeing slot 0 60000 0\nClients=3\n"));
    EXPECT_TRUE(at(60001, false).ends_with("freeing slot 1 60001 1\nClients=2\n"));
    at(200000, false);
    EXPECT_EQ(server().clients, (std::vector{replayed, local}));
    EXPECT_EQ(server().rankingList, (std::vector{replayed, local}));
    EXPECT_FALSE(server().slotTaken[0] || server().slotTaken[1]);
    EXPECT_EQ(log("LOST", false), "LOST,guid-Al\nLOST,guid-Bo\n");
}

TEST_F(Removal, ASignedOffDriverFreesHisSlotAndRaceNumberForTheNextJoiner) {
    start();
    StdoutCapture quiet;
    const int32_t tyres = server().checksums.tyres;
    TestClient first(harness->port());
    first.sendRaw(connectRequest({.guid = "first", .raceNumber = 7, .tyreChecksum = tyres}));
    ASSERT_TRUE(harness->receiveTurn());
    first.sendRaw({RV_SIGNOFF});
    ASSERT_TRUE(harness->receiveTurn());
    EXPECT_TRUE(server().clients.empty());
    TestClient second(harness->port());
    second.sendRaw(connectRequest({.guid = "second", .raceNumber = 7, .tyreChecksum = tyres}));
    ASSERT_TRUE(harness->receiveTurn());
    ASSERT_EQ(server().clients.size(), 1u);
    EXPECT_EQ(server().clients[0]->slot, 0);
    EXPECT_EQ(server().clients[0]->raceNumber, 7);
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
    std::vector<CRVClientConnection*> receivers;
    std::vector<Bytes> chats;
    for (auto& [client, bytes] : take()) {
        receivers.push_back(client);
        if (bytes[0] == RV_CHAT)
            chats.push_back(bytes);
    }
    EXPECT_EQ(receivers, std::vector(receivers.size(), quick));
    EXPECT_EQ(chats, (std::vector<Bytes>{
                         chat("MOVE TO NEXT SESSION COMMANDED BY Boss"),
                         chat("[SERVER}: Boss DIDN'T COMPLETE REQUIRED 1 LAPS. NOT QUALIFIED"),
                         chat("[SERVER}: Slow DIDN'T COMPLETE REQUIRED 1 LAPS. NOT QUALIFIED")}));
    at(1);
    EXPECT_TRUE(server().removedClients.empty());
    EXPECT_EQ(log("", false).find("LOST"), std::string::npos);
    EXPECT_FALSE(server().slotTaken[0] || server().slotTaken[1]);
}

}  // namespace
