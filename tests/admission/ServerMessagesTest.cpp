#include <gtest/gtest.h>

#include <memory>

#include "protocol/MessageTypes.h"
#include "support/Requests.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

namespace {

std::string raceEvent(const std::string& sessionLines) {
    std::string c = defaultConfig();
    c.replace(c.find("[SESSION0]"), std::string::npos, crlf(sessionLines));
    return c;
}

// One datagram to a fresh server, one turn; returns the console text and what came back.
struct Exchange {
    explicit Exchange(const std::string& config = defaultConfig()) : harness(config) {
        harness.start();
        peer = std::make_unique<TestClient>(harness.port());
    }
    std::string send(const std::vector<uint8_t>& datagram) {
        peer->received.clear();
        peer->sendRaw(datagram);
        StdoutCapture out;
        harness.receiveTurn();
        std::string text = out.take();
        peer->drain();
        return text;
    }
    std::vector<uint8_t> reply(uint8_t type) {
        auto r = peer->ofType(type);
        return r.size() == 1 ? r[0].bytes : std::vector<uint8_t>{};
    }
    ServerHarness harness;
    std::unique_ptr<TestClient> peer;
};

TEST(StatusQuery, PracticeReplyIsExactAndPrintsItsLines) {
    Exchange x;
    std::string console = x.send(statusQuery(0x04030201));
    std::vector<uint8_t> expected(115, 0);
    expected[0] = RV_STATUS;
    putText(expected, 1, "Test Server");
    putText(expected, 21, "testring");
    putText(expected, 41, "short");
    putText(expected, 61, "gt1;gt2;");
    putText(expected, 82, "-10 mins");  // 30 s wait + 10 min session, seen at time 0
    putU32(expected, 102, 0x04030201);
    expected[106] = 8;     // MAXCLIENTS
    expected[110] = 1;     // open, no password
    expected[111] = 0x10;  // BANDWIDTH 10000
    expected[112] = 0x27;
    expected[114] = 1;  // DAMAGE
    EXPECT_EQ(x.reply(RV_STATUS), expected);
    EXPECT_NE(console.find("Get status\nsender="), std::string::npos);
    EXPECT_NE(console.find(" sizeof 5\n110 1 2 3 67305985 Test Server gt1;gt2; testring short "
                           "size=5\nsessionTime=10\nss.statusDesc=-10 mins 0\nsender="),
              std::string::npos)
        << console;
}

TEST(StatusQuery, RaceCountdownLapsAndAccessState) {
    const std::string race =
        "[SESSION0]\nTYPE=2\nNAME=Race\nRACELAPS=12\nWAITTIME=37\n"
        "SESTIME=0\nACCEPTNEW=";
    struct Case {
        std::string config;
        uint32_t advanceMs;
        std::string desc;
        uint8_t access;
    };
    std::string passworded = raceEvent(race + "0\n");
    passworded.replace(passworded.find("PASSWORD=\r"), 9, "PASSWORD=pw");
    const Case cases[] = {
        {raceEvent(race + "1\n"), 0, "30sec to start", 1},
        {raceEvent(race + "1\n"), 28000, "0sec to start", 1},  // 9 s to go
        {raceEvent(race + "1\n"), 40000, "0/12", 1},           // started on an earlier turn
        {passworded, 0, "30sec to start", 0},                  // closed beats the password
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.desc);
        Exchange x(c.config);
        x.harness.advance(c.advanceMs);
        x.send(statusQuery(7));
        std::vector<uint8_t> r = x.reply(RV_STATUS);
        ASSERT_EQ(r.size(), 115u);
        EXPECT_EQ(r[81], 2);
        EXPECT_EQ(getText(r, 82, 20), c.desc);
        EXPECT_EQ(r[108] | (r[109] << 8), 12);
        EXPECT_EQ(r[110], c.access);
    }
}

TEST(StatusQuery, WithoutSessionsOrWithAOneByteQueryStillAnswers) {
    std::string none = defaultConfig();
    none.replace(none.find("SESSIONS=1"), 10, "SESSIONS=0");
    Exchange x(none);
    x.send({RV_GETSTATUS});
    std::vector<uint8_t> r = x.reply(RV_STATUS);
    ASSERT_EQ(r.size(), 115u);
    EXPECT_EQ(getU32(r, 102), 0u);
    EXPECT_EQ(getText(r, 82, 20), "");
    EXPECT_EQ(r[110], 0);
}

TEST(ServerMessages, EchoRegisteredAdminPasswordAndUnknownTypes) {
    Exchange x;
    x.send({RV_ECHO, 1, 2, 3, 4, 5});
    EXPECT_EQ(x.reply(RV_ECHO), std::vector<uint8_t>{RV_ECHO});

    EXPECT_EQ(x.send({RV_REGISTERED}), "REGISTERED TO RALVO NETWORK\n");
    EXPECT_TRUE(x.harness.server->registeredWithLobby);

    EXPECT_EQ(x.send(adminCommand("wrong", "reset")),
              "**** WARNING WRONG ADMIN PASSWORD DETECTED ****\n");
    EXPECT_EQ(x.send(adminCommand("boss", "reset")), "");
    std::vector<uint8_t> unterminated = adminCommand("boss", "pings");
    unterminated.pop_back();
    EXPECT_EQ(x.send(unterminated), "");
    EXPECT_EQ(x.send({RV_ADMINCOMMAND}), "**** WARNING WRONG ADMIN PASSWORD DETECTED ****\n");
    EXPECT_EQ(x.send({200, 1, 2}), "");
    EXPECT_TRUE(x.peer->received.empty());
}

}  // namespace
