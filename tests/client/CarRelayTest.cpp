#include "client/ClientFixture.h"

namespace {

std::vector<uint8_t> record(uint8_t id, uint32_t seq, uint8_t fill, uint8_t flags) {
    std::vector<uint8_t> r = carUpdate(seq, flags, fill);
    r[1] = id;
    if (fill == 0)
        r[18] = 1000 & 0xff, r[19] = 1000 >> 8;  // a car that has sent nothing yet
    return r;
}

std::vector<uint8_t> packet(std::initializer_list<std::vector<uint8_t>> records) {
    std::vector<uint8_t> m = {RV_MEGAPACKET, uint8_t(records.size())};
    for (const auto& r : records)
        m.insert(m.end(), r.begin(), r.end());
    return m;
}

}  // namespace

TEST_F(ClientTest, CombinedPacketCarriesOtherCarsInListOrderAfterSixtyMs) {
    CRVClientConnection* a = attach("A");
    CRVClientConnection* b = attach("B");
    CRVClientConnection* c = attach("C");
    deliver(a, carUpdate(5, 1, 0x11));
    deliver(b, carUpdate(7, 0, 0x22));
    for (int i = 0; i < 3; ++i)  // one turn queues all three, the router sends one per turn
        harness.turn();
    for (auto& p : peers)
        p->drain(30);
    ASSERT_EQ(peers[2]->count(RV_MEGAPACKET), 1);
    EXPECT_EQ(peers[0]->ofType(RV_MEGAPACKET)[0].bytes,
              packet({record(b->id, 7, 0x22, 0), record(c->id, 0, 0, 0)}));
    EXPECT_EQ(peers[1]->ofType(RV_MEGAPACKET)[0].bytes,
              packet({record(a->id, 5, 0x11, 1), record(c->id, 0, 0, 0)}));
    EXPECT_EQ(peers[2]->ofType(RV_MEGAPACKET)[0].bytes,
              packet({record(a->id, 5, 0x11, 1), record(b->id, 7, 0x22, 0)}));

    harness.advance(60);  // exactly the interval: not yet due
    EXPECT_TRUE(take(RV_MEGAPACKET).empty());
    harness.advance(1);
    EXPECT_EQ(take(RV_MEGAPACKET).size(), 2u);  // the third left in this turn
}

TEST_F(ClientTest, CombinedPacketStopsAtWhatAReceiverTakes) {
    for (int i = 0; i < 50; ++i)
        attach("D" + std::to_string(i));
    harness.server->clients[0]->sendMegapacket();
    EXPECT_EQ(take().at(0).bytes.size(), 2u + 23u * 43u);
}

TEST_F(ClientTest, StaleUpdatesDroppedAndBadLinksNoticed) {
    CRVClientConnection* a = attach("A");
    EXPECT_EQ(deliver(a, carUpdate(0, 0)), "OOO packet\n");
    EXPECT_EQ(deliver(a, carUpdate(5, 0, 0x55)), "");
    EXPECT_EQ(deliver(a, carUpdate(5, 4, 0x66)), "OOO packet\n");
    EXPECT_EQ(deliver(a, carUpdate(4, 4, 0x44)), "OOO packet\n");
    EXPECT_EQ(a->carState[0], 0x55);

    harness.advance(5000);
    take();
    a->updateCount = 399, a->throttleCount = 159, a->lastUpdateSeq = 1000;
    EXPECT_EQ(deliver(a, carUpdate(1101, 0)), "A THROTTLE: 160/400 40.000%\n");
    EXPECT_TRUE(take().empty());
    a->updateCount = 399, a->throttleCount = 160;
    EXPECT_EQ(deliver(a, carUpdate(1202, 0)), "A THROTTLE: 161/400 40.250%\n");
    auto q = take(RV_LINKNOTICE);
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].bytes.size(), 65u);
    EXPECT_EQ(getText(q[0].bytes, 1, 64), "Connection unreliable. Disconnected by server");
    EXPECT_EQ(deliver(a, carUpdate(1302, 0)), "");  // a gap of exactly 100 is ordinary loss
}

TEST_F(ClientTest, RetirementAnnouncedOncePerRunOfFlaggedUpdates) {
    CRVClientConnection* a = attach("Ann");
    deliver(a, carUpdate(1, 2));  // session not started yet
    EXPECT_TRUE(take().empty());
    harness.server->current()->started = 1;
    for (uint32_t seq : {2, 3, 3})  // the duplicate is dropped but still seen as retired
        deliver(a, carUpdate(seq, 2));
    auto q = take();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].bytes, chat("Ann RETIRED"));
    deliver(a, carUpdate(4, 0));
    deliver(a, carUpdate(5, 2));
    EXPECT_EQ(take().size(), 1u);
}
