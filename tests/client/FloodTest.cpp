// One client flooding the others: its copies to everyone are held to a budget, its texts cannot
// forge log lines, and the server's answers to strangers cannot be used as an amplifier.
#include "support/RaceFixture.h"

namespace {

TEST_F(ClientTest, FloodsFromOneClientAreHeldToItsBudgetAndLeavingHappensOnce) {
    CRVClientConnection* a = attach("Al");
    CRVClientConnection* b = attach("Bo");
    std::string console;
    for (int i = 0; i < 100; ++i)
        console += deliver(a, chat("spam"));
    EXPECT_EQ(take(RV_CHAT).size(), 2u * 20);  // the burst, to both
    EXPECT_NE(console.find("1 messages to everyone dropped (rate limit) from Al\n"),
              std::string::npos);
    EXPECT_EQ(console.find("2 messages to everyone dropped"), std::string::npos);  // once a second
    server().serverTime += 1000;
    console.clear();
    for (int i = 0; i < 20; ++i)
        console += deliver(a, chat("spam"));
    EXPECT_EQ(take(RV_CHAT).size(), 2u * 10);  // ten a second
    EXPECT_NE(console.find("\n80 messages to everyone dropped"), std::string::npos);
    EXPECT_EQ(console.find("dropped"), console.rfind("dropped"));  // one line a second

    for (int i = 0; i < 500; ++i)
        deliver(b, {RV_RELAY, 1, 2, 3});
    EXPECT_EQ(take(RV_RELAY).size(), 120u);

    for (int i = 0; i < 50; ++i) {
        deliver(b, {RV_SIGNOFF});
        deliver(b, {RV_DISCONNECT});
    }
    EXPECT_EQ(take(RV_DISCONNECT).size(), 2u);  // one notice to each client
}

TEST_F(ClientTest, ClientTextsCannotForgeLogLinesOrReachTheTerminal) {
    CRVClientConnection* a = attach("Al\x1b[2J");
    CRVClientConnection* b = attach("Bo");
    const Bytes forged = chat("hi\n0:00:000,LOST,guid-Bo");
    EXPECT_EQ(deliver(a, forged), "char length=24\n[Al?[2J]: hi?0:00:000,LOST,guid-Bo\n");
    EXPECT_EQ(take(), (Sent{{a, forged}, {b, forged}}));  // relayed as it came
    const std::string log = this->log();
    EXPECT_TRUE(log.ends_with(",CHAT,guid-Al\x1b[2J,hi?0:00:000,LOST,guid-Bo\n") ||
                log.ends_with(",CHAT,guid-Al?[2J,hi?0:00:000,LOST,guid-Bo\n"))
        << log;
    EXPECT_EQ(log.find("\n0:00:000,LOST"), std::string::npos);
}

TEST_F(ClientTest, StrangersGetBoundedAnswersWhateverTheyAsk) {
    TestClient stranger(harness->port());
    for (int i = 0; i < 40; ++i) {
        stranger.sendRaw(statusQuery(uint32_t(i)));
        stranger.sendRaw({RV_ECHO});
        stranger.sendRaw({RV_CONNECT});  // one byte: a refusal costs the budget twice
    }
    StdoutCapture quiet;
    for (int i = 0; i < 3; ++i)
        harness->receiveTurn(50);
    quiet.take();
    stranger.drain(50);
    // Sixteen answers' worth: status, echo, and a refusal that cost its request a share too.
    EXPECT_EQ(stranger.received.size(), 12u);
    harness->clock.advance(1000);  // eight more a second
    stranger.received.clear();
    for (int i = 0; i < 20; ++i)
        stranger.sendRaw({RV_ECHO});
    StdoutCapture quiet2;
    harness->receiveTurn(50);
    quiet2.take();
    stranger.drain(50);
    EXPECT_EQ(stranger.received.size(), 8u);
}

}  // namespace
