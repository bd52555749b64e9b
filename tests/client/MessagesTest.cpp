#include "client/ClientFixture.h"
#include "support/Requests.h"

TEST_F(ClientTest, ChatEchoedAndLoggedSignOffBroadcast) {
    CRVClientConnection* a = attach("Al");
    CRVClientConnection* b = attach("Bob");
    EXPECT_EQ(deliver(b, chat("hello all", 9)), "char length=9\n[Bob]: hello all\n");
    auto q = take();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].client, a);
    EXPECT_EQ(q[1].client, b);
    EXPECT_EQ(q[1].bytes, chat("hello all", 9));
    EXPECT_NE(eventLog().find(",CHAT,guid-Bob,hello all\n"), std::string::npos);

    EXPECT_EQ(deliver(a, {RV_SIGNOFF}), "Client signing off\n");
    for (int i = 0; i < 4; ++i)  // two announcements, then the notice to each client
        harness.turn();
    ASSERT_TRUE(peers[1]->waitFor(RV_DISCONNECT));
    EXPECT_EQ(peers[1]->ofType(RV_CHAT)[0].bytes, chat("[SERVER]: **** Al RETIRED ***"));
    EXPECT_EQ(peers[1]->ofType(RV_DISCONNECT)[0].bytes, bytesOf({RV_DISCONNECT, a->id}));
    EXPECT_TRUE(peers[1]->ofType(RV_DISCONNECT)[0].reliable);
    EXPECT_TRUE(peers[0]->waitFor(RV_DISCONNECT));
}

TEST_F(ClientTest, ClientListLeavesOutSpectators) {
    CRVClientConnection* a = attach("Alpha");
    CRVClientConnection* s = attach("Watcher", true);
    CRVClientConnection* b = attach("Bravo");
    b->raceNumber = 70000;
    EXPECT_EQ(deliver(s, {RV_CLIENTLIST, 255}),
              "client 2 wants client list\nWarning: getting all clients?\n");
    auto q = take();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].bytes[1], a->id);
    const std::vector<uint8_t>& r = q[1].bytes;
    ASSERT_EQ(r.size(), 283u);
    EXPECT_EQ(getText(r, 3, 21), "Bravo");
    EXPECT_EQ(r[72] | (r[73] << 8), 4464);
    EXPECT_EQ(0, std::memcmp(&r[267], b->address.raw, 16));
    deliver(a, {RV_CLIENTLIST, s->id});
    EXPECT_TRUE(take().empty());
}

TEST_F(ClientTest, StartUpBurstInOrderAndPingEchoed) {
    CRVClientConnection* a = attach("Boss");
    auto burst = [&] {
        deliver(a, {RV_MOVEDANDREADY});
        std::string out;
        for (const Queued& m : take())
            out += std::to_string(m.bytes[0]) + ":" + std::to_string(m.bytes.size()) + " ";
        return out;
    };
    EXPECT_EQ(burst(), "65:13 75:129 76:7 34:73 79:72 ");
    a->isAdmin = true;
    a->entryBallast = 25;
    EXPECT_EQ(burst(), "65:13 75:129 76:7 27:47 63:5 34:73 79:72 ");

    std::vector<uint8_t> ping = {RV_PING, 42, 0, 0, 0, 0, 0};
    putU32(ping, 3, 123456);
    deliver(a, ping);
    EXPECT_EQ(a->ping, 42u);
    auto q = take();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].bytes.size(), 9u);
    EXPECT_EQ(getU32(q[0].bytes, 1), 123456u);
    EXPECT_EQ(getU32(q[0].bytes, 5), uint32_t(harness.server->serverTime));
}

TEST_F(ClientTest, AdminCommandsNeedRightsAndOthersAreToldSo) {
    attach("Al");
    CRVClientConnection* b = attach("Bob");
    SessionRecord& session = harness.server->sessions[0];
    deliver(b, adminCommand("", "startses"));
    std::vector<uint8_t> notAdmin(67, 0);
    notAdmin[0] = RV_CHAT;
    notAdmin[2] = 38;
    putText(notAdmin, 3, "YOUR NOT AN ADMINISTRATOR IN THIS RACE");
    auto q = take();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].client, b);
    EXPECT_EQ(q[0].bytes, notAdmin);
    EXPECT_EQ(session.startTime, 30000u);

    deliver(b, {RV_ADMINPASSWORD, 'b', 'o', 's'});
    EXPECT_FALSE(b->isAdmin);
    deliver(b, {RV_ADMINPASSWORD, 'b', 'o', 's', 's', 0});
    EXPECT_TRUE(b->isAdmin);
    EXPECT_EQ(take(RV_CHAT).at(1).bytes, chat("[SERVER]: Bob IS NOW ADMIN"));

    deliver(b, adminCommand("", "startses"));
    EXPECT_EQ(take(RV_CHAT).at(0).bytes, chat("SESSION START COMMANDED BY Bob"));
    EXPECT_EQ(session.startTime, uint64_t(harness.server->serverTime + 20000));
    session.started = 1;
    deliver(b, adminCommand("", "startses"));
    EXPECT_TRUE(take().empty());

    deliver(b, adminCommand("", "nextses"));  // the last session: back to the first
    EXPECT_EQ(take(RV_CHAT).at(0).bytes, chat("MOVE TO NEXT SESSION COMMANDED BY Bob"));
    EXPECT_EQ(harness.server->currentSession, 0);
    EXPECT_EQ(harness.server->sessions[0].started, 0);
}
