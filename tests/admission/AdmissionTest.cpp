// Admission: what an accepted or refused driver gets, and the answers to strangers.
#include "support/RaceFixture.h"

namespace {

// The test event with `edits` applied and `more` sections added at its end.
std::string configWith(const std::vector<std::string>& edits, const std::string& more = "") {
    return withEdits(defaultConfig() + crlf(more), edits);
}

Bytes refusal(const std::string& text) {
    return chat("[RVSERVER]: " + text);
}
const Bytes kWrongTyres = refusal("Only front.rvt rear.rvt tires are allowed on this server");

// `size` bytes, zero but for the type and a text from byte 1.
Bytes message(uint8_t type, size_t size, const std::string& text) {
    Bytes m(size, 0);
    m[0] = type;
    putText(m, 1, text);
    return m;
}

using Replies = std::vector<std::pair<Bytes, bool>>;  // each message, and whether it is reliable

struct Admission : RaceFixture {
    // Sends from a new peer and runs the turn that handles it; returns the console text.
    std::string connect(ConnectFields f) {
        if (f.tyreChecksum == 0)
            f.tyreChecksum = server().checksums.tyres;
        return send(connectRequest(f));
    }
    std::string send(const Bytes& datagram) {
        peers.push_back(std::make_unique<TestClient>(harness->port()));
        peers.back()->sendRaw(datagram);
        const std::string text = printed([&] { EXPECT_TRUE(harness->receiveTurn()); });
        peers.back()->drain();
        return text;
    }
    Replies replies() const {
        Replies out;
        for (const Received& r : peers.back()->received)
            out.emplace_back(r.bytes, r.reliable);
        return out;
    }
};

// Missing tyre files sum to 198.
const std::string kChecked = "RV_CONNECT\ntireGUID=198 198\n";

TEST_F(Admission, AcceptedDriversGetRecordAcceptanceAnnouncementLogStandingsAndFreeNumbers) {
    start();
    const std::string console = connect({.accidentRatio = 0.3f});
    TestClient& peer = *peers[0];
    ASSERT_EQ(server().clients.size(), 1u);
    const CRVClientConnection& c = *server().clients[0];
    EXPECT_EQ(std::tuple(c.focusId, c.gridPlace), std::tuple(1, 0));
    Bytes accepted = message(RV_ACCEPTED, 46, "Test Server");
    accepted[41] = 1, accepted[42] = 7;  // the record's id 1, race number 7, slot 0, no race
    EXPECT_EQ(console, kChecked +
                           "creating client guid-1 \nInit high performance timer...\n"
                           "Requested raceNumber=7 \nAssigned raceNumber=7 0\n"
                           "setting client address to 127.0.0.1\nserver port=0\n\n"
                           "CLIENT CONNECTED:\nGUID=guid-1\nUSERNAME=Driver\nRACENUMBER=7\n"
                           "TEAM=Team\nNATIONALITY=IT\nONLINE KM=1200\nACCIDENT RATIO=0.3\n"
                           "DNF RATIO=50\nMODEL=gt1\nBANDWIDTH=50.000000\nIP=127.0.0.1\n\nPORT=" +
                           std::to_string(peer.port()) + "\n\nClients=1\n");
    for (int i = 0; i < 3; ++i)
        harness->turn();
    peer.drain();
    Replies got = replies();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[2].first.size(), 78u);  // the standings, whose fields the race tests check
    got[2].first.resize(1);
    EXPECT_EQ(got, (Replies{{accepted, true},
                            {chat("7 Driver [Team] JOINS THE RACE"), false},
                            {{RV_STANDINGS}, true},
                            {{RV_MEGAPACKET, 0}, false},
                            {{RV_MEGAPACKET, 0}, false}}));
    EXPECT_EQ(harness->folder.read("server/users/guid-1.rvuser"), "guid-1\n");

    // The same guid again is dropped before its wrong version and tyres are even looked at.
    EXPECT_EQ(connect({.version = 99, .tyreChecksum = 5}),
              "RV_CONNECT\nClient Driver refused, already here\n");
    EXPECT_TRUE(replies().empty());
    EXPECT_EQ(std::pair(server().clients.size(), server().clients[0]->address == peer.address()),
              std::pair(size_t(1), true));
    // Repeated at line rate, it prints within the requests' budget only (64 at once, all from
    // loopback so far), then once a second how many were dropped.
    TestClient& twin = *peers.back();
    const std::string flood = printed([&] {
        for (int second = 0; second < 2; ++second) {
            for (int i = 0; i < 200; ++i)
                twin.sendRaw(connectRequest({.version = 99}));
            harness->receiveTurn();
            harness->clock.advance(1000);
        }
    });
    EXPECT_EQ(countOf(flood, "refused, already here\n"), 64u - 2 + 16);
    EXPECT_EQ(countOf(flood, "connection requests dropped (rate limit)\n"), 2u);

    // A taken race number moves up to the next free one; the join counter never gives out 0.
    server().joinCounter = 254;
    for (int i = 0; i < 3; ++i)
        connect({.guid = "g" + std::to_string(i), .raceNumber = uint16_t(i == 1 ? 9 : 7)});
    std::string numbers;  // race number, id and slot of each
    for (const CRVClientConnection* j : server().clients)
        numbers += std::to_string(j->raceNumber) + "/" + std::to_string(j->id) + "/" +
                   std::to_string(j->slot) + " ";
    EXPECT_EQ(numbers, "7/1/0 8/254/1 9/255/2 10/1/3 ");
    EXPECT_EQ(logged("JOIN"),  // with the number asked for
              "JOIN,Driver,7,Team,gt1,guid-1,IT\nJOIN,Driver,7,Team,gt1,g0,IT\n"
              "JOIN,Driver,9,Team,gt1,g1,IT\nJOIN,Driver,7,Team,gt1,g2,IT\n");
}

TEST_F(Admission, EachRefusalHasItsReplyAndChangesNothing) {
    const std::string silent = kChecked + "Client 7 is already connected\nClients=0\n";
    const struct {
        std::string config;
        ConnectFields request;
        Bytes reply;  // empty: nothing is sent
        std::string console;
    } cases[] = {
        {defaultConfig(), ConnectFields{.tyreChecksum = 5}, kWrongTyres,
         "RV_CONNECT\ntireGUID=5 198\n"},
        {configWith({"ACCEPTNEW=0"}), ConnectFields(),
         refusal("Session is closed to new clients. Connection refused"), kChecked},
        {configWith({}, "[ENTRYLIST]\nENTRIES=1\nDRIVER0=someone-else\n"), ConnectFields(),
         refusal("You are not in the server's entry list. Connection refused"), kChecked},
        {defaultConfig(), ConnectFields{.version = 130},
         message(RV_REFUSED, 65, "Client software not updated. Please update Ralvo"), silent},
        {defaultConfig(), ConnectFields{.version = 132},
         message(RV_REFUSED, 65, "Client software is newer than the server. Connection refused"),
         silent},
        {configWith({"MAXCLIENTS=0"}), ConnectFields(), Bytes(), silent},
        {configWith({"PASSWORD=secret"}), ConnectFields{.password = "nope"},
         refusal("Invalid password. Connection refused"),
         kChecked + "WRONG PASSWORD nope - client refused\n"},
    };
    for (const auto& r : cases) {
        SCOPED_TRACE(r.console);
        start(r.config);
        EXPECT_EQ(connect(r.request), r.console);
        EXPECT_EQ(std::tuple(server().clients.size(), server().joinCounter,
                             harness->folder.read("server/users/guid-1.rvuser")),
                  std::tuple(0u, 1, ""));
        EXPECT_EQ(replies(), (r.reply.empty() ? Replies() : Replies{{r.reply, false}}));
    }
}

// An entry list opens a closed session and its place wins over a held one; the admin password
// opens a passworded server; spectators count towards capacity.
TEST_F(Admission, EntryListAndAdminPasswordLetInAndSpectatorsCountTowardsCapacity) {
    start(configWith({"ACCEPTNEW=0", "PASSWORD=secret", "MAXCLIENTS=3"},
                     "[ENTRYLIST]\nENTRIES=4\nUSEFORGRID=1\nDRIVER0=boss\nBALLAST0=0\n"
                     "DRIVER1=viewer\nBALLAST1=0\nDRIVER2=c\nBALLAST2=15\nDRIVER3=late\n"));
    EXPECT_TRUE(connect({.spectator = true, .guid = "boss", .password = "boss"})
                    .starts_with("RV_CONNECTRVTV\n" + kChecked +
                                 "NEW CLIENT IS ADMIN\ncreating client boss \n"));
    server().clients[0]->gridPlace = 2;
    connect({.spectator = true, .guid = "viewer", .password = "secret"});
    connect({.guid = "c", .password = "secret"});
    connect({.guid = "late", .password = "secret"});
    ASSERT_EQ(server().clients.size(), 3u);
    const CRVClientConnection &boss = *server().clients[0], &viewer = *server().clients[1],
                              &c = *server().clients[2];
    EXPECT_EQ(std::tuple(boss.isAdmin, boss.isSpectator, viewer.isAdmin, viewer.isSpectator),
              std::tuple(true, true, false, true));
    EXPECT_EQ(std::pair(c.gridPlace, c.entryBallast), std::pair(2, 15.0f));
}

TEST_F(Admission, MalformedRequestsNeverReadPastTheDatagramOrOverrunTheRecord) {
    start();
    Bytes request = connectRequest({.guid = "short"});
    request.resize(100);  // the tyre checksum and everything after it read as zero
    send(request);
    EXPECT_EQ(replies(), (Replies{{kWrongTyres, false}}));
    // Every text filled to its width with no terminator.
    request = connectRequest({.guid = std::string(64, 'g')});
    std::fill(request.begin() + 65, request.begin() + 139, 'x');
    std::fill(request.begin() + 246, request.begin() + 278, 'n');
    putU32(request, 242, uint32_t(server().checksums.tyres));
    send(request);
    ASSERT_EQ(server().clients.size(), 1u);
    const CRVClientConnection& c = *server().clients[0];
    EXPECT_EQ(std::tuple(std::string(c.guid), std::string(c.userName) + c.extraName + c.model,
                         std::string(c.nationality)),
              std::tuple(std::string(63, 'g'), std::string(53, 'x'), std::string(31, 'n')));
}

// Every row but the last asks with the same token; the last query is too short to carry one.
TEST_F(Admission, StatusReplyShowsTheEventSessionCountdownLapsAccessAndToken) {
    const std::string race = configWith({"TYPE=2", "RACELAPS=12", "WAITTIME=37", "SESTIME=0"});
    const uint32_t token = 0x04030201;
    const struct {
        std::string config;
        uint32_t advanceMs;
        uint8_t type;
        std::string description;
        uint8_t laps, access;
    } cases[] = {
        {defaultConfig(), 0, 0, "-10 mins", 0, 1},  // 30 s + 10 min at 0
        {race, 0, 2, "30sec to start", 12, 1},
        {race, 28000, 2, "0sec to start", 12, 1},  // 9 s to go
        {race, 40000, 2, "0/12", 12, 1},           // started on an earlier turn
        {withEdits(race, {"ACCEPTNEW=0", "PASSWORD=pw"}), 0, 2, "30sec to start", 12,
         0},  // closed beats the password
        {configWith({"SESSIONS=0"}), 0, 0, "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        start(c.config);
        harness->advance(c.advanceMs);
        const bool shortQuery = &c == &cases[std::size(cases) - 1];
        send(shortQuery ? Bytes{RV_GETSTATUS} : statusQuery(token));
        Bytes expected = message(RV_STATUS, 115, "Test Server");
        putText(expected, 21, "testring"), putText(expected, 41, "short");
        putText(expected, 61, "gt1;gt2;"), putText(expected, 82, c.description);
        putU32(expected, 102, shortQuery ? 0 : token);
        // 8 clients, BANDWIDTH 10000, DAMAGE
        expected[81] = c.type, expected[106] = 8, expected[108] = c.laps;
        expected[110] = c.access, expected[111] = 0x10, expected[112] = 0x27, expected[114] = 1;
        EXPECT_EQ(replies(), (Replies{{expected, false}}));
    }
}

TEST_F(Admission, StrangersGetStatusAndEchoAndAdminCommandsAndUnknownTypesNothing) {
    start();
    const std::string console = send(statusQuery(0x04030201));
    const uint16_t port = peers.back()->port();  // printed as it sits in the address
    const std::string sender = "sender=2130706433 " + std::to_string(port >> 8 | (port & 255) << 8);
    EXPECT_EQ(console, "Get status\n" + sender +
                           " sizeof 5\n110 1 2 3 67305985 Test Server gt1;gt2; testring short "
                           "size=5\nsessionTime=10\nss.statusDesc=-10 mins 0\n" +
                           sender + "\n");
    send({RV_ECHO, 1, 2, 3, 4, 5});
    EXPECT_EQ(replies(), (Replies{{{RV_ECHO}, false}}));
    EXPECT_EQ(send(adminCommand("boss", "pings")), "parsing command: pings\n");
    Bytes unterminated = adminCommand("boss", "pings");
    unterminated.pop_back();
    EXPECT_EQ(send(unterminated), "parsing command: pings\n");
    EXPECT_EQ(send({RV_ADMINCOMMAND}), "**** WARNING WRONG ADMIN PASSWORD DETECTED ****\n");
    EXPECT_EQ(send({200, 1, 2}), "");
    EXPECT_TRUE(replies().empty());
}

}  // namespace
