// Track flags raised and cleared by the simulators.
#include "support/RaceFixture.h"

TEST_F(ClientTest, FlagsClearEverySectorTheyWereRaisedInAndFloodsAreHeldByBudgetAndListLimit) {
    CRVClientConnection *a = attach("Al"), *b = attach("Bo");
    auto sent = [&] {  // each broadcast once, as its copy to Al, which is reliable
        std::vector<Bytes> out;
        for (const QueuedMessage& m : server().router.queue)
            if (m.client == a && m.reliable)
                out.push_back(m.data);
        server().router.queue.clear();
        return out;
    };
    deliver(a, {RV_FLAG, 3, 1, 1});
    deliver(b, {RV_FLAG, 5, 1, 1});
    deliver(b, {RV_FLAG, 5, 2, 1});
    EXPECT_EQ(sent(), (std::vector<Bytes>{{84, 3, 1, 1}, {84, 5, 1, 1}, {84, 5, 2, 1}}));
    EXPECT_EQ(deliver(a, {RV_FLAG, 9, 1, 0}), "Processing flag 1 type=0 sector=9\n");
    EXPECT_EQ(sent(), (std::vector<Bytes>{{84, 3, 255, 0}, {84, 5, 255, 0}}));
    ASSERT_EQ(server().flags.activeFlags.size(), 1u);
    EXPECT_EQ(server().flags.activeFlags[0].sector, 5);
    deliver(a, {RV_FLAG, 9, 1, 0});  // nothing left to clear
    deliver(a, {RV_FLAG, 9, 2, 7});  // neither raise nor clear
    deliver(a, {RV_FLAG});           // short: sector 0, flag 0, type 0
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(log("FLAG", false),
              "FLAG,guid-Al,3,1\nFLAG,guid-Bo,5,1\nFLAG,guid-Bo,5,1\nFLAG,guid-Al,9,0\n"
              "FLAG,guid-Al,9,0\nFLAG,guid-Al,9,7\nFLAG,guid-Al,0,0\n");

    server().flags.activeFlags.clear();
    server().serverTime += 1000;
    for (int i = 0; i < 300; ++i)
        deliver(a, {RV_FLAG, 1, 1, 1});
    EXPECT_EQ(sent().size(), 20u);   // the burst of one client's broadcasts
    deliver(a, {RV_FLAG, 1, 1, 0});  // a clearing still reaches everyone, once per raise
    EXPECT_EQ(sent(), std::vector<Bytes>(20, {84, 1, 255, 0}));
    const uint8_t raise[] = {RV_FLAG, 1, 1, 1};
    printed([&] {
        for (int i = 0; i < 300; ++i)
            server().processFlag(raise);
    });
    EXPECT_EQ(server().flags.activeFlags.size(), TrackFlags::kMaxActiveFlags);
    EXPECT_EQ(sent().size(), TrackFlags::kMaxActiveFlags);
    EXPECT_EQ(printed([&] { server().processFlag(raise); }),
              "Processing flag 1 type=1 sector=1\nFlag list full, flag 1 in sector 1 not raised\n");
}
