// Guessing passwords from one address: a few typos cost nothing, a guesser cools off for longer
// each time, and nothing a cooling address sends is looked at, not even the right password.
#include "support/RaceFixture.h"

using PasswordGuessing = RaceFixture;

TEST_F(PasswordGuessing, GuessesCoolOffLongerEachTimeAndJoinAndAdminRightsCountTheSame) {
    start(withEdits(defaultConfig(), {"PASSWORD=joinme"}));
    auto from = [&](int host, Bytes message) {  // from a stranger at 127.0.0.`host`
        const SocketAddress sender = SocketAddress::fromHost(0x7f000000 + uint32_t(host), 40000);
        return printed([&] { server().onMessage(message.data(), int(message.size()), &sender); });
    };
    auto admin = [&](int host, const std::string& pw) {
        return from(host, adminCommand(pw, "pings"));
    };
    auto later = [&](uint32_t ms) { printed([&] { harness->advance(ms); }); };
    std::string console, expected;
    for (int i = 0; i < 1000; ++i)
        console += admin(5, "guess" + std::to_string(i));
    for (int i = 0; i < 6; ++i)  // the budget, then the lock
        expected += "**** WARNING WRONG ADMIN PASSWORD DETECTED ****\n";
    EXPECT_EQ(console, expected + "1 password attempts from 127.0.0.5 ignored (cooling off)\n");
    EXPECT_EQ(admin(5, "boss"), "");  // right, but cooling off
    EXPECT_EQ(admin(6, "boss"), "parsing command: pings\n");
    later(59000);
    EXPECT_EQ(admin(5, "boss"), "");
    later(1000);
    EXPECT_EQ(admin(5, "boss"),
              "995 password attempts from 127.0.0.5 ignored (cooling off)\n"
              "parsing command: pings\n");
    // Two honest typos lock nobody out; a second excess costs twice as long.
    admin(5, "typo");
    admin(5, "typo");
    EXPECT_EQ(admin(5, "boss"), "parsing command: pings\n");
    for (int i = 0; i < 6; ++i)
        admin(5, "again");
    later(60000);
    EXPECT_FALSE(has(admin(5, "boss"), "parsing"));
    later(60000);
    EXPECT_EQ(admin(5, "boss"), "parsing command: pings\n");
    EXPECT_EQ(logged("PASSWORDLOCK"), "PASSWORDLOCK,127.0.0.5,60\nPASSWORDLOCK,127.0.0.5,120\n");

    // Join passwords and the admin rights of clients count the same, at their own address.
    const int32_t tyres = server().checksums.tyres;
    auto join = [&](const std::string& guid, const std::string& password) {
        return from(7, connectRequest({.guid = guid, .password = password, .tyreChecksum = tyres}));
    };
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(has(join("g" + std::to_string(i), "nope"), "WRONG PASSWORD"));
    // Not even looked at.
    EXPECT_EQ(join("late", "joinme"),
              "RV_CONNECT\ntireGUID=198 198\n1 password attempts from 127.0.0.7 ignored (cooling "
              "off)\n");
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
    deliver(driver, {RV_ADMINPASSWORD, 'b', 'o', 's', 's'});  // ends with the datagram
    EXPECT_TRUE(driver->isAdmin);
}
