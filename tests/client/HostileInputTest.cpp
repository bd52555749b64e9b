// Hostile input: a client flooding the others is held to a budget, its texts cannot forge log
// lines or claim more than they hold, and answers to strangers amplify nothing.
#include "support/RaceFixture.h"

TEST_F(ClientTest, FloodsFromOneClientAreHeldToItsBudgetAndLeavingHappensOnce) {
    CRVClientConnection *a = attach("Al"), *b = attach("Bo");
    auto spam = [&](int n) {
        std::string console;
        for (int i = 0; i < n; ++i)
            console += deliver(a, chat("spam"));
        return console;
    };
    std::string relayed;  // the burst, then ten a second; one line a second for the rest
    for (int i = 0; i < 20; ++i)
        relayed += "char length=4\n[Al]: spam\n";
    EXPECT_EQ(spam(100), relayed + "1 messages to everyone dropped (rate limit) from Al\n");
    EXPECT_EQ(take(RV_CHAT).size(), 2u * 20);
    server().serverTime += 1000;
    EXPECT_EQ(spam(20), relayed.substr(relayed.size() / 2) +
                            "80 messages to everyone dropped (rate limit) from Al\n");
    EXPECT_EQ(take(RV_CHAT).size(), 2u * 10);

    for (int i = 0; i < 500; ++i)
        deliver(b, {RV_RELAY, 1, 2, 3});
    EXPECT_EQ(take(RV_RELAY).size(), 120u);
    for (int i = 0; i < 50; ++i) {
        deliver(b, {RV_SIGNOFF});
        deliver(b, {RV_DISCONNECT});
    }
    EXPECT_EQ(take(RV_DISCONNECT).size(), 2u);  // one notice to each client
}

TEST_F(ClientTest, ClientTextsCannotForgeLogLinesReachTheTerminalOrOutgrowTheirDatagram) {
    CRVClientConnection *a = attach("Al\x1b[2J"), *b = attach("Bo");
    const Bytes forged = chat("hi\n0:00:000,LOST,guid-Bo");
    EXPECT_EQ(deliver(a, forged), "char length=24\n[Al?[2J]: hi?0:00:000,LOST,guid-Bo\n");
    EXPECT_EQ(take(), (Sent{{a, forged}, {b, forged}}));  // relayed as it came
    EXPECT_EQ(log("CHAT"), "0:01:000,CHAT,guid-Al?[2J,hi?0:00:000,LOST,guid-Bo\n");
    // Relayed as it came, never as long as its length byte claims.
    const Bytes cut = {RV_CHAT, 0, 250, 'a', 'b', 'c'};
    EXPECT_EQ(deliver(a, cut), "char length=250\n[Al?[2J]: abc\n");
    EXPECT_EQ(take(), (Sent{{a, cut}, {b, cut}}));
    std::strcpy(b->guid, "Bo\n[CLIENT9]");
    printed([&] { server().saveSession(0); });
    EXPECT_EQ(results("Practice"),
              resultsFile("Practice", 0, {"guid-Al?[2J 0 0 0 0", "Bo?[CLIENT9] 0 0 0 0"}));
}

TEST_F(ClientTest, StrangersGetBoundedAnswersWhateverTheyAsk) {
    TestClient stranger(harness->port());
    for (int i = 0; i < 40; ++i) {
        stranger.sendRaw(statusQuery(uint32_t(i)));
        stranger.sendRaw({RV_ECHO});
        stranger.sendRaw({RV_CONNECT});  // one byte: a refusal costs the budget twice
    }
    StdoutCapture quiet;
    ASSERT_TRUE(harness->receiveTurn());
    harness->turn();
    harness->turn();
    stranger.drain();
    // Sixteen answers' worth: status, echo, and a refusal that cost its request a share too.
    EXPECT_EQ(stranger.received.size(), 12u);
    harness->clock.advance(1000);  // eight more a second
    stranger.received.clear();
    for (int i = 0; i < 20; ++i)
        stranger.sendRaw({RV_ECHO});
    ASSERT_TRUE(harness->receiveTurn());
    stranger.drain();
    EXPECT_EQ(stranger.received.size(), 8u);
    // Status queries the budget drops print nothing; the once-a-second count says how many.
    harness->clock.advance(1000);
    for (int i = 0; i < 30; ++i)
        stranger.sendRaw(statusQuery(uint32_t(i)));
    quiet.take();
    StdoutCapture flood;
    harness->receiveTurn();
    const std::string console = flood.take();
    EXPECT_EQ(countOf(console, "Get status\n"), 8u) << console;
}
