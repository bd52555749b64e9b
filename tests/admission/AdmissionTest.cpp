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

// `size` bytes, zero but for the type and a text from byte 1.
Bytes message(uint8_t type, size_t size, const std::string& text) {
    Bytes m(size, 0);
    m[0] = type;
    putText(m, 1, text);
    return m;
}

struct Admission : RaceFixture {
    // Sends the request from a new peer, runs the turn that handles it and returns the console
    // text; the peer then collects what the server sent.
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
    // The last peer's only message (of `type`, if given), or an empty one.
    Received reply(int type = -1) const {
        const TestClient& p = *peers.back();
        std::vector<Received> r = type < 0 ? p.received : p.ofType(uint8_t(type));
        return r.size() == 1 ? r[0] : Received();
    }
    std::string read(const std::string& relative) { return harness->folder.read(relative); }
};

TEST_F(Admission, AcceptedDriversGetRecordAcceptanceAnnouncementLogStandingsAndFreeNumbers) {
    start();
    std::string console = connect({.accidentRatio = 0.3f});
    TestClient& peer = *peers[0];
    ASSERT_EQ(server().clients.size(), 1u);
    const CRVClientConnection& c = *server().clients[0];
    EXPECT_EQ(std::tuple(c.focusId, c.gridPlace, server().joinCounter), std::tuple(1, 0, 2));
    EXPECT_TRUE(c.address == peer.address());
    EXPECT_EQ(server().rankingList.size(), 1u);
    Bytes accepted = message(RV_ACCEPTED, 46, "Test Server");
    accepted[41] = 1, accepted[42] = 7;  // the record's id 1, race number 7, slot 0, no race
    EXPECT_TRUE(reply(RV_ACCEPTED).reliable);
    EXPECT_EQ(reply(RV_ACCEPTED).bytes, accepted);
    // The record's own fields, as the operator sees them.
    const std::string record =
        "creating client guid-1 \nInit high performance timer...\nRequested raceNumber=7 \n"
        "Assigned raceNumber=7 0\nsetting client address to 127.0.0.1\nserver port=0\n\n"
        "CLIENT CONNECTED:\nGUID=guid-1\nUSERNAME=Driver\nRACENUMBER=7\nTEAM=Team\n"
        "NATIONALITY=IT\nONLINE KM=1200\nACCIDENT RATIO=0.3\nDNF RATIO=50\nMODEL=gt1\n"
        "BANDWIDTH=50.000000\nIP=127.0.0.1\n\nPORT=" +
        std::to_string(peer.port()) + "\n\nClients=1\n";
    EXPECT_TRUE(has(console, record)) << console;
    for (int i = 0; i < 3; ++i)
        harness->turn();
    peer.drain();
    EXPECT_EQ(reply(RV_CHAT).bytes, chat("7 Driver [Team] JOINS THE RACE"));
    EXPECT_TRUE(reply(RV_STANDINGS).reliable);
    EXPECT_EQ(reply(RV_STANDINGS).bytes.size(), 78u);
    EXPECT_EQ(read("server/users/guid-1.rvuser"), "guid-1\n");

    // The same guid again is dropped before its wrong version and tyres are even looked at.
    console = connect({.version = 99, .tyreChecksum = 5});
    EXPECT_EQ(console, "RV_CONNECT\nClient Driver refused, already here\n");
    EXPECT_TRUE(peers[1]->received.empty());
    ASSERT_EQ(server().clients.size(), 1u);
    EXPECT_TRUE(server().clients[0]->address == peer.address());

    // A taken race number moves up to the next free one; the join counter never gives out 0.
    server().joinCounter = 254;
    const struct {
        uint16_t requested;
        int assigned, id;
    } joins[] = {{7, 8, 254}, {9, 9, 255}, {7, 10, 1}};
    for (int i = 0; i < 3; ++i) {
        connect({.guid = "g" + std::to_string(i), .raceNumber = joins[i].requested});
        ASSERT_EQ(server().clients.size(), size_t(i + 2));
        const CRVClientConnection& j = *server().clients.back();
        EXPECT_EQ(std::tuple(j.raceNumber, j.id, j.slot),
                  std::tuple(joins[i].assigned, joins[i].id, i + 1));
    }
    EXPECT_EQ(server().joinCounter, 2);
    EXPECT_TRUE(has(log(), ",JOIN,Driver,7,Team,gt1,guid-1,IT\n"));
    EXPECT_TRUE(has(log(), ",JOIN,Driver,7,Team,gt1,g2,IT\n"));  // the number asked for
}

TEST_F(Admission, EachRefusalHasItsReplyAndChangesNothing) {
    const std::string silent = "Client 7 is already connected\nClients=0\n";
    const struct {
        const char* name;
        std::string config;
        ConnectFields request;
        Bytes reply;  // empty: nothing is sent
        std::string console;
    } cases[] = {
        {"tyres", defaultConfig(), ConnectFields{.tyreChecksum = 5},
         refusal("Only front.rvt rear.rvt tires are allowed on this server"), "tireGUID=5 "},
        {"closed", configWith({"ACCEPTNEW=0"}), ConnectFields(),
         refusal("Session is closed to new clients. Connection refused"), ""},
        {"entry list", configWith({}, "[ENTRYLIST]\nENTRIES=1\nDRIVER0=someone-else\n"),
         ConnectFields(), refusal("You are not in the server's entry list. Connection refused"),
         ""},
        {"old version", defaultConfig(), ConnectFields{.version = 130},
         message(RV_REFUSED, 65, "Client software not updated. Please update Ralvo"), silent},
        {"new version", defaultConfig(), ConnectFields{.version = 132},
         message(RV_REFUSED, 65, "Client software is newer than the server. Connection refused"),
         silent},
        {"full", configWith({"MAXCLIENTS=0"}), ConnectFields(), Bytes(), silent},
        {"password", configWith({"PASSWORD=secret"}), ConnectFields{.password = "nope"},
         refusal("Invalid password. Connection refused"), "WRONG PASSWORD nope - client refused\n"},
    };
    for (const auto& r : cases) {
        SCOPED_TRACE(r.name);
        start(r.config);
        std::string console = connect(r.request);
        EXPECT_TRUE(server().clients.empty());
        EXPECT_EQ(server().joinCounter, 1);
        EXPECT_EQ(read("server/users/guid-1.rvuser"), "");
        EXPECT_TRUE(has(console, r.console)) << console;
        EXPECT_EQ(peers.back()->received.size(), r.reply.empty() ? 0u : 1u);
        EXPECT_EQ(reply().bytes, r.reply);
        EXPECT_FALSE(reply().reliable);
    }
}

TEST_F(Admission, EntryListGivesBallastAndGridPlaceAndOpensAClosedSession) {
    start(configWith({"ACCEPTNEW=0"},
                     "[ENTRYLIST]\nENTRIES=3\nUSEFORGRID=1\nDRIVER0=a\nBALLAST0=0\n"
                     "DRIVER1=b\nBALLAST1=0\nDRIVER2=c\nBALLAST2=15\n"));
    ASSERT_EQ(server().config.entryList.size(), 3u);
    connect({.guid = "a"});
    server().clients[0]->gridPlace = 2;
    connect({.guid = "c"});
    ASSERT_EQ(server().clients.size(), 2u);
    EXPECT_EQ(server().clients[1]->gridPlace, 2);
    EXPECT_EQ(server().clients[1]->entryBallast, 15.0f);
}

TEST_F(Admission, AdminPasswordOpensAPasswordedServerAndSpectatorsCountTowardsCapacity) {
    start(configWith({"PASSWORD=secret", "MAXCLIENTS=2"}));
    const std::string console =
        connect({.spectator = true, .guid = "boss-guid", .password = "boss"});
    EXPECT_TRUE(console.starts_with("RV_CONNECTRVTV\nRV_CONNECT\n")) << console;
    EXPECT_TRUE(has(console, "NEW CLIENT IS ADMIN\n"));
    connect({.spectator = true, .guid = "viewer", .password = "secret"});
    ASSERT_EQ(server().clients.size(), 2u);
    EXPECT_TRUE(server().clients[0]->isAdmin && server().clients[0]->isSpectator);
    EXPECT_FALSE(server().clients[1]->isAdmin);
    connect({.guid = "late", .password = "secret"});
    EXPECT_EQ(server().clients.size(), 2u);
}

TEST_F(Admission, MalformedRequestsNeverReadPastTheDatagramOrOverrunTheRecord) {
    start();
    Bytes request = connectRequest({.guid = "short"});
    request.resize(100);  // the tyre checksum and everything after it read as zero
    send(request);
    EXPECT_EQ(reply().bytes, refusal("Only front.rvt rear.rvt tires are allowed on this server"));
    // Every text filled to its width with no terminator.
    request = connectRequest({.guid = std::string(64, 'g')});
    std::fill(request.begin() + 65, request.begin() + 139, 'x');
    std::fill(request.begin() + 246, request.begin() + 278, 'n');
    putU32(request, 242, uint32_t(server().checksums.tyres));
    send(request);
    ASSERT_EQ(server().clients.size(), 1u);
    const CRVClientConnection& c = *server().clients[0];
    EXPECT_EQ(std::string(c.guid), std::string(63, 'g'));
    EXPECT_EQ(std::string(c.userName) + c.extraName + c.model, std::string(53, 'x'));
    EXPECT_EQ(std::string(c.nationality), std::string(31, 'n'));

    connect({.guid = "../escape"});  // admitted, but it gets no profile outside the folder
    EXPECT_EQ(server().clients.size(), 2u);
    EXPECT_EQ(read("server/escape.rvuser"), "");
}

TEST_F(Admission, StatusReplyIsExactAndPrintsItsLines) {
    start();
    std::string console = send(statusQuery(0x04030201));
    Bytes expected = message(RV_STATUS, 115, "Test Server");
    putText(expected, 21, "testring"), putText(expected, 41, "short");
    putText(expected, 61, "gt1;gt2;"), putText(expected, 82, "-10 mins");  // 30 s + 10 min at 0
    putU32(expected, 102, 0x04030201);
    // 8 clients, open without password, BANDWIDTH 10000, DAMAGE
    expected[106] = 8, expected[110] = 1, expected[111] = 0x10, expected[112] = 0x27;
    expected[114] = 1;
    EXPECT_EQ(reply().bytes, expected);
    EXPECT_TRUE(has(console, "Get status\nsender=")) << console;
    EXPECT_TRUE(has(console,
                    " sizeof 5\n110 1 2 3 67305985 Test Server gt1;gt2; testring short "
                    "size=5\nsessionTime=10\nss.statusDesc=-10 mins 0\nsender="));
}

TEST_F(Admission, StatusReplyShowsSessionTypeCountdownLapsAccessAndToken) {
    const std::vector<std::string> race = {"TYPE=2", "RACELAPS=12", "WAITTIME=37", "SESTIME=0"};
    std::vector<std::string> closed = race;
    closed.insert(closed.end(), {"ACCEPTNEW=0", "PASSWORD=pw"});
    const struct {
        std::string config;
        uint32_t advanceMs;
        Bytes query;
        std::string fields;  // session type, its description, race laps, access, token
    } cases[] = {
        {configWith(race), 0, statusQuery(7), "2|30sec to start|12|1|7"},
        {configWith(race), 28000, statusQuery(7), "2|0sec to start|12|1|7"},  // 9 s to go
        {configWith(race), 40000, statusQuery(7), "2|0/12|12|1|7"},  // started on an earlier turn
        {configWith(closed), 0, statusQuery(7), "2|30sec to start|12|0|7"},  // closed beats pw
        {configWith({"SESSIONS=0"}), 0, Bytes{RV_GETSTATUS}, "0||0|0|0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        start(c.config);
        harness->advance(c.advanceMs);
        send(c.query);
        const Bytes r = reply().bytes;
        ASSERT_EQ(r.size(), 115u);
        EXPECT_EQ(std::to_string(r[81]) + "|" + getText(r, 82, 20) + "|" +
                      std::to_string(r[108] | r[109] << 8) + "|" + std::to_string(r[110]) + "|" +
                      std::to_string(getU32(r, 102)),
                  c.fields);
    }
}

TEST_F(Admission, StrangersGetEchoRegistrationAndAdminCommandsAndUnknownTypesNothing) {
    start();
    send({RV_ECHO, 1, 2, 3, 4, 5});
    EXPECT_EQ(reply().bytes, Bytes{RV_ECHO});
    EXPECT_EQ(send({RV_REGISTERED}), "REGISTERED TO RALVO NETWORK\n");
    EXPECT_TRUE(server().registeredWithLobby);
    const std::string wrong = "**** WARNING WRONG ADMIN PASSWORD DETECTED ****\n";
    EXPECT_EQ(send(adminCommand("wrong", "reset")), wrong);
    EXPECT_EQ(send(adminCommand("boss", "pings")), "parsing command: pings\n");
    Bytes unterminated = adminCommand("boss", "pings");
    unterminated.pop_back();
    EXPECT_EQ(send(unterminated), "parsing command: pings\n");
    EXPECT_EQ(send({RV_ADMINCOMMAND}), wrong);
    EXPECT_EQ(send({200, 1, 2}), "");
    EXPECT_TRUE(peers.back()->received.empty());
}

}  // namespace
