// Car updates: the combined packet that relays them, stale and retired cars, and bad links.
#include "support/RaceFixture.h"

namespace {

// A car update as its driver sends it; the combined packet relays it with the driver's id.
Bytes carUpdate(uint32_t seq, uint8_t flags, uint8_t fill = 0, uint8_t id = 0) {
    Bytes m(23, fill);
    m[0] = RV_CARUPDATE, m[1] = id, m[22] = flags;
    putU32(m, 2, seq);
    return m;
}

Bytes packet(std::initializer_list<Bytes> records) {
    Bytes m = {RV_MEGAPACKET, uint8_t(records.size())};
    for (const auto& r : records)
        m.insert(m.end(), r.begin(), r.end());
    return m;
}

TEST_F(ClientTest, CombinedPacketCarriesOtherCarsInListOrderEverySixtyMsUpToWhatAReceiverTakes) {
    CRVClientConnection *a = attach("A"), *b = attach("B"), *c = attach("C");
    const auto ra = carUpdate(5, 1, 0x11, a->id), rb = carUpdate(7, 0, 0x22, b->id);
    auto rc = carUpdate(0, 0, 0, c->id);
    rc[18] = 1000 & 0xff, rc[19] = 1000 >> 8;  // a car that has sent nothing yet
    deliver(a, ra);
    deliver(b, rb);
    harness->turn();  // queues all three; the router sends the first in the same turn
    ASSERT_TRUE(peers[0]->waitFor(RV_MEGAPACKET));
    EXPECT_EQ(peers[0]->first(RV_MEGAPACKET).bytes, packet({rb, rc}));
    EXPECT_EQ(take(RV_MEGAPACKET), (Sent{{b, packet({ra, rc})}, {c, packet({ra, rb})}}));
    harness->advance(60);  // exactly the interval: not yet due
    EXPECT_TRUE(take(RV_MEGAPACKET).empty());
    harness->advance(1);
    EXPECT_EQ(take(RV_MEGAPACKET).size(), 2u);  // the third left in this turn

    for (int i = 0; i < 48; ++i)  // more cars than a receiver takes
        attach("D" + std::to_string(i));
    harness->advance(61);
    // Each receiver gets the first 43 others in list order, itself left out (the first
    // receiver's packet has left already).
    const Sent sent = take(RV_MEGAPACKET);
    ASSERT_EQ(sent.size(), 50u);
    for (size_t r : {size_t(1), size_t(10), size_t(43), size_t(44), size_t(50)}) {
        std::vector<int> expected, ids;
        for (const CRVClientConnection* other : server().clients)
            if (other != server().clients[r] && expected.size() < 43)
                expected.push_back(other->id);
        const Bytes& m = sent[r - 1].bytes;
        for (size_t k = 2; k < m.size(); k += 23)
            ids.push_back(m[k + 1]);
        EXPECT_EQ(sent[r - 1].client, server().clients[r]);
        EXPECT_EQ(m[1], 43);
        EXPECT_EQ(ids, expected) << "receiver " << r;
    }
}

TEST_F(ClientTest, StaleUpdatesDroppedRetirementAnnouncedOnceBadLinksNoticed) {
    CRVClientConnection* a = attach("Ann");
    std::string console;
    for (const Bytes& m :
         {carUpdate(0, 0), carUpdate(5, 0, 0x55), carUpdate(5, 4, 0x66), carUpdate(4, 4, 0x44)})
        console += deliver(a, m) + "|";
    EXPECT_EQ(console, "OOO packet\n||OOO packet\n|OOO packet\n|");
    EXPECT_EQ(a->carState[0], 0x55);
    deliver(a, carUpdate(6, 2));  // session not started yet
    EXPECT_TRUE(take().empty());
    server().current()->started = 1;
    for (uint32_t seq : {7, 8, 8})  // the duplicate is dropped but still seen as retired
        deliver(a, carUpdate(seq, 2));
    EXPECT_EQ(take(), (Sent{{a, chat("Ann RETIRED")}}));
    deliver(a, carUpdate(9, 0));
    deliver(a, carUpdate(10, 2));
    EXPECT_EQ(take().size(), 1u);

    harness->advance(5000);
    take();
    a->updateCount = 399, a->throttleCount = 159, a->lastUpdateSeq = 1000;
    EXPECT_EQ(deliver(a, carUpdate(1101, 0)), "Ann THROTTLE: 160/400 40.000%\n");
    EXPECT_TRUE(take().empty());
    a->updateCount = 399, a->throttleCount = 160;
    EXPECT_EQ(deliver(a, carUpdate(1202, 0)), "Ann THROTTLE: 161/400 40.250%\n");
    Bytes notice = {RV_LINKNOTICE};
    putText(notice, 1, "Connection unreliable. Disconnected by server");
    notice.resize(65);
    EXPECT_EQ(take(), (Sent{{a, notice}}));
    EXPECT_EQ(deliver(a, carUpdate(1302, 0)), "");  // a gap of exactly 100 is ordinary loss
}

}  // namespace
