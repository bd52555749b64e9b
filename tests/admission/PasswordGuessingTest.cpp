// Guessing passwords from one address: a few typos cost nothing, a guesser cools off for longer
// each time, and nothing a cooling address sends is looked at, not even the right password.
#include "support/RaceFixture.h"

namespace {

class PasswordGuessing : public RaceFixture {
  protected:
    void SetUp() override { start(withEdits(defaultConfig(), {"PASSWORD=joinme"})); }
    // A datagram from a stranger at 127.0.0.`host`; returns the console.
    std::string from(int host, std::vector<uint8_t> message) {
        const SocketAddress sender = SocketAddress::fromHost(0x7f000000 + uint32_t(host), 40000);
        StdoutCapture out;
        server().onMessage(message.data(), int(message.size()), &sender);
        return out.take();
    }
    void later(uint32_t ms) {
        harness->clock.advance(ms);
        StdoutCapture quiet;
        harness->turn();
    }
};

TEST_F(PasswordGuessing, AdminGuessesCoolOffLongerEachTimeAndOthersAreUntouched) {
    std::string console;
    for (int i = 0; i < 1000; ++i)
        console += from(5, adminCommand("guess" + std::to_string(i), "pings"));
    EXPECT_EQ(countOf(console, "WRONG ADMIN PASSWORD"), 6u);  // the budget, then the lock
    EXPECT_EQ(countOf(console, "password attempts from 127.0.0.5 ignored"), 1u);
    EXPECT_EQ(from(5, adminCommand("boss", "pings")), "");  // right, but cooling off
    EXPECT_EQ(from(6, adminCommand("boss", "pings")), "parsing command: pings\n");
    later(59000);
    EXPECT_EQ(from(5, adminCommand("boss", "pings")), "");
    later(1000);
    EXPECT_EQ(from(5, adminCommand("boss", "pings")),
              "995 password attempts from 127.0.0.5 ignored (cooling off)\n"
              "parsing command: pings\n");
    // Two honest typos lock nobody out; a second excess costs twice as long.
    from(5, adminCommand("typo", "pings"));
    from(5, adminCommand("typo", "pings"));
    EXPECT_EQ(from(5, adminCommand("boss", "pings")), "parsing command: pings\n");
    for (int i = 0; i < 6; ++i)
        from(5, adminCommand("again", "pings"));
    later(60000);
    EXPECT_EQ(from(5, adminCommand("boss", "pings")).find("parsing"), std::string::npos);
    later(60000);
    EXPECT_EQ(from(5, adminCommand("boss", "pings")), "parsing command: pings\n");
    std::string locks;  // the lock-out lines, without the session's own
    const std::string all = log("", false);
    for (size_t at = all.find("PASSWORDLOCK"); at != std::string::npos;
         at = all.find("PASSWORDLOCK", at + 1))
        locks += all.substr(at, all.find('\n', at) + 1 - at);
    EXPECT_EQ(locks, "PASSWORDLOCK,127.0.0.5,60\nPASSWORDLOCK,127.0.0.5,120\n");
}

TEST_F(PasswordGuessing, JoinPasswordsAndAdminRightsOfClientsCountTheSame) {
    const int32_t tyres = server().checksums.tyres;
    auto join = [&](const std::string& guid, const std::string& password) {
        return from(7, connectRequest({.guid = guid, .password = password, .tyreChecksum = tyres}));
    };
    for (int i = 0; i < 6; ++i)
        EXPECT_NE(join("g" + std::to_string(i), "nope").find("WRONG PASSWORD"), std::string::npos);
    const std::string ignored = join("late", "joinme");  // not even looked at
    EXPECT_NE(ignored.find("1 password attempts from 127.0.0.7 ignored"), std::string::npos);
    EXPECT_EQ(ignored.find("WRONG"), std::string::npos);
    EXPECT_TRUE(server().clients.empty());
    later(60000);
    join("late", "joinme");
    ASSERT_EQ(server().clients.size(), 1u);

    CRVClientConnection* driver = server().clients[0];
    for (int i = 0; i < 6; ++i)
        deliver(driver, {RV_ADMINPASSWORD});
    deliver(driver, {RV_ADMINPASSWORD, 'b', 'o', 's', 's', 0});
    EXPECT_FALSE(driver->isAdmin);
    driver->lastSeenTime = server().serverTime + 120000;  // heard from all along
    later(120000);  // the address's second lock-out: twice as long
    deliver(driver,
            {RV_ADMINPASSWORD, 'b', 'o', 's', 's'});  // no terminator: ends with the datagram
    EXPECT_TRUE(driver->isAdmin);
}

}  // namespace
