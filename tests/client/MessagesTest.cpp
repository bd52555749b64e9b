// What a connected client can ask for and say: chat, the client list, start-up, ping, admin
// rights and commands, and signing off.
#include <cstring>

#include "support/RaceFixture.h"

TEST_F(ClientTest, ChatClientListStartUpPingAdminRightsAndSignOff) {
    CRVClientConnection *a = attach("Al"), *s = attach("Watcher", true), *b = attach("Bob");
    auto after = [&](CRVClientConnection* from, const Bytes& m) {  // what it queued
        deliver(from, m);
        return take();
    };
    const Bytes hello = chat("hello all", 9);
    EXPECT_EQ(deliver(b, hello), "char length=9\n[Bob]: hello all\n");
    EXPECT_EQ(take(), (Sent{{a, hello}, {s, hello}, {b, hello}}));
    // The server's own announcements are dropped, not cut, from 64 characters on.
    server().sendServerChat(std::string(63, 'x'), b);
    server().sendServerChat(std::string(64, 'x'), b);
    EXPECT_EQ(take(), (Sent{{b, chat(std::string(63, 'x'))}}));

    b->raceNumber = 70000;
    EXPECT_EQ(deliver(s, {RV_CLIENTLIST, 255}),
              "client 2 wants client list\nWarning: getting all clients?\n");
    auto q = take();
    ASSERT_EQ(q.size(), 2u);
    const Bytes& r = q[1].bytes;
    ASSERT_EQ(r.size(), 283u);
    EXPECT_EQ(std::tuple(q[0].bytes[1], std::string(reinterpret_cast<const char*>(&r[3])),
                         r[72] | (r[73] << 8), std::memcmp(&r[267], b->address.raw, 16)),
              std::tuple(a->id, "Bob", 4464, 0));
    EXPECT_TRUE(after(a, {RV_CLIENTLIST, s->id}).empty());

    auto burst = [&] {  // each message's type and size
        std::string out;
        for (const Queued& m : after(b, {RV_MOVEDANDREADY}))
            out += std::to_string(m.bytes[0]) + ":" + std::to_string(m.bytes.size()) + " ";
        return out;
    };
    EXPECT_EQ(burst(), "65:13 75:129 76:7 34:73 79:72 ");
    // Round trip 42 ms, stamp 123456: the stamp comes back followed by the server time, 1000 ms.
    EXPECT_EQ(after(b, {RV_PING, 42, 0, 0x40, 0xe2, 0x01, 0}),
              (Sent{{b, Bytes{RV_PONG, 0x40, 0xe2, 0x01, 0, 0xe8, 0x03, 0, 0}}}));
    EXPECT_EQ(b->ping, 42u);

    SessionRecord& session = server().sessions[0];
    Bytes notAdmin = chat("YOUR NOT AN ADMINISTRATOR IN THIS RACE");
    notAdmin.resize(67);
    EXPECT_EQ(after(b, adminCommand("", "startses")), (Sent{{b, notAdmin}}));
    EXPECT_EQ(session.startTime, 30000u);
    deliver(b, {RV_ADMINPASSWORD, 'b', 'o', 's'});
    EXPECT_FALSE(b->isAdmin);
    EXPECT_EQ(after(b, {RV_ADMINPASSWORD, 'b', 'o', 's', 's', 0}).at(2).bytes,
              chat("[SERVER]: Bob IS NOW ADMIN"));
    EXPECT_TRUE(b->isAdmin);
    b->entryBallast = 25;
    EXPECT_EQ(burst(), "65:13 75:129 76:7 27:47 63:5 34:73 79:72 ");
    EXPECT_EQ(after(b, adminCommand("", "startses")).at(0).bytes,
              chat("SESSION START COMMANDED BY Bob"));
    EXPECT_EQ(session.startTime, uint64_t(server().serverTime + 20000));
    session.started = 1;
    EXPECT_TRUE(after(b, adminCommand("", "startses")).empty());
    after(b, adminCommand("", "nextses"));  // the last session: back to the first
    EXPECT_EQ(std::pair(server().currentSession, int(session.started)), std::pair(0, 0));

    const uint8_t leaverId = a->id;
    EXPECT_EQ(deliver(a, {RV_SIGNOFF}), "Client signing off\n");
    // The first turn sends the leaver its announcement and then removes it with the rest of
    // its queue; the others get the announcement and the notice.
    for (int i = 0; i < 6; ++i)
        harness->turn();
    ASSERT_TRUE(peers[2]->waitFor(RV_DISCONNECT));
    EXPECT_EQ(peers[2]->first(RV_CHAT).bytes, chat("[SERVER]: **** Al RETIRED ***"));
    const Received notice = peers[2]->first(RV_DISCONNECT);
    EXPECT_EQ(std::pair(notice.bytes, notice.reliable),
              std::pair(Bytes{RV_DISCONNECT, leaverId}, true));
    EXPECT_EQ(server().clients, (std::vector{s, b}));
    peers[0]->drain();
    EXPECT_EQ(peers[0]->count(RV_DISCONNECT), 0);
}
