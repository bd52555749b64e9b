#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

#include "admission/CRVClientConnection.h"
#include "protocol/MessageTypes.h"
#include "support/Requests.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

namespace {

// The test event with some of its lines replaced ("KEY=old" -> "KEY=new") and `more` sections
// added at its end.
std::string configWith(const std::vector<std::pair<std::string, std::string>>& edits,
                       const std::string& more = "") {
    std::string c = defaultConfig() + crlf(more);
    for (const auto& [from, to] : edits) {
        size_t at = c.find(from + "\r\n");
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            c.replace(at, from.size(), to);
    }
    return c;
}

std::vector<uint8_t> chatBytes(const std::string& text) {
    std::vector<uint8_t> m(3 + text.size(), 0);
    m[0] = RV_CHAT;
    m[2] = uint8_t(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        m[3 + i] = uint8_t(text[i]);
    return m;
}

class Admission : public ::testing::Test {
  protected:
    void start(const std::string& config = defaultConfig()) {
        harness = std::make_unique<ServerHarness>(config);
        harness->start();
    }
    // Sends a request from a new peer (or `from`), runs the turn that handles it and returns the
    // console text; the peer then collects what the server sent.
    std::string connect(ConnectFields f, TestClient* from = nullptr) {
        if (f.tyreChecksum == 0)
            f.tyreChecksum = harness->server->checksums.tyres;
        return send(connectRequest(f), from);
    }
    std::string send(const std::vector<uint8_t>& datagram, TestClient* from = nullptr) {
        if (from == nullptr) {
            peers.push_back(std::make_unique<TestClient>(harness->port()));
            from = peers.back().get();
        }
        from->sendRaw(datagram);
        StdoutCapture out;
        EXPECT_TRUE(harness->receiveTurn());
        std::string text = out.take();
        from->drain();
        return text;
    }
    ConnectFields driver(const std::string& guid, uint16_t number = 7) {
        ConnectFields f;
        f.guid = guid;
        f.raceNumber = number;
        return f;
    }
    std::string file(const std::string& relative) {
        std::ifstream in(harness->folder.path() + "/" + relative);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    CRVServer& server() { return *harness->server; }

    std::unique_ptr<ServerHarness> harness;
    std::vector<std::unique_ptr<TestClient>> peers;
};

TEST_F(Admission, AcceptedDriverGetsRecordAcceptanceAnnouncementLogAndStandings) {
    start();
    ConnectFields f = driver("guid-1");
    f.accidentRatio = 0.3f;
    std::string console = connect(f);
    TestClient& peer = *peers[0];

    ASSERT_EQ(server().clients.size(), 1u);
    CRVClientConnection& c = *server().clients[0];
    EXPECT_EQ(std::string(c.guid), "guid-1");
    EXPECT_EQ(c.id, 1);
    EXPECT_EQ(c.focusId, 1);
    EXPECT_EQ(c.gridPlace, 0);
    EXPECT_EQ(c.bandwidth, 50.0f);
    EXPECT_TRUE(c.address == peer.address());
    EXPECT_EQ(server().rankingList.size(), 1u);
    EXPECT_EQ(server().joinCounter, 2);

    std::vector<uint8_t> accepted(46, 0);
    accepted[0] = RV_ACCEPTED;
    putText(accepted, 1, "Test Server");
    accepted[42] = 7;  // race number; id 1, slot 0, no race running
    accepted[41] = 1;
    ASSERT_EQ(peer.count(RV_ACCEPTED), 1);
    EXPECT_TRUE(peer.ofType(RV_ACCEPTED)[0].reliable);
    EXPECT_EQ(peer.ofType(RV_ACCEPTED)[0].bytes, accepted);

    std::string block =
        "\nCLIENT CONNECTED:\nGUID=guid-1\nUSERNAME=Driver\nRACENUMBER=7\n"
        "TEAM=Team\nNATIONALITY=IT\nONLINE KM=1200\nACCIDENT RATIO=0.3\n"
        "DNF RATIO=50\nMODEL=gt1\nBANDWIDTH=50.000000\nIP=127.0.0.1\n\nPORT=" +
        std::to_string(peer.port()) + "\n\nClients=1\n";
    EXPECT_NE(console.find("Requested raceNumber=7 \nAssigned raceNumber=7 0\n"),
              std::string::npos);
    EXPECT_NE(console.find(block), std::string::npos) << console;

    for (int i = 0; i < 3; ++i)
        harness->turn();
    peer.drain();
    ASSERT_EQ(peer.count(RV_CHAT), 1);
    EXPECT_EQ(peer.ofType(RV_CHAT)[0].bytes, chatBytes("7 Driver [Team] JOINS THE RACE"));
    ASSERT_EQ(peer.count(RV_STANDINGS), 1);
    EXPECT_TRUE(peer.ofType(RV_STANDINGS)[0].reliable);
    EXPECT_EQ(peer.ofType(RV_STANDINGS)[0].bytes.size(), 78u);

    EXPECT_EQ(file("server/users/guid-1.rvuser"), "guid-1\n");
    server().logger.flush();
    EXPECT_NE(file(server().logger.fileName()).find(",JOIN,Driver,7,Team,gt1,guid-1,IT\n"),
              std::string::npos);
}

struct Refusal {
    const char* name;
    std::vector<std::pair<std::string, std::string>> config;
    std::function<void(ConnectFields&)> request;
    std::vector<uint8_t> reply;  // empty: nothing is sent
    std::string console;
};

std::vector<uint8_t> refusedBytes(const std::string& text) {
    std::vector<uint8_t> m(65, 0);
    m[0] = RV_REFUSED;
    putText(m, 1, text);
    return m;
}

TEST_F(Admission, EachRefusalHasItsReplyAndChangesNothing) {
    const std::vector<Refusal> cases = {
        {"tyres",
         {},
         [](ConnectFields& f) { f.tyreChecksum = 5; },
         chatBytes("[RVSERVER]: Only front.rvt rear.rvt tires are allowed on this server"),
         "tireGUID=5 "},
        {"closed",
         {{"ACCEPTNEW=1", "ACCEPTNEW=0"}},
         [](ConnectFields&) {},
         chatBytes("[RVSERVER]: Session is closed to new clients. Connection refused"),
         ""},
        {"entry list",
         {{"ACCEPTNEW=1", "ACCEPTNEW=1\r\n[ENTRYLIST]\r\nENTRIES=1\r\nDRIVER0=someone-else"}},
         [](ConnectFields&) {},
         chatBytes("[RVSERVER]: You are not in the server's entry list. Connection refused"),
         ""},
        {"old version",
         {},
         [](ConnectFields& f) { f.version = 130; },
         refusedBytes("Client software not updated. Please update Ralvo"),
         "Client 7 is already connected\nClients=0\n"},
        {"new version",
         {},
         [](ConnectFields& f) { f.version = 132; },
         refusedBytes("Client software is newer than the server. Connection refused"),
         "Client 7 is already connected\nClients=0\n"},
        {"full",
         {{"MAXCLIENTS=8", "MAXCLIENTS=0"}},
         [](ConnectFields&) {},
         {},
         "Client 7 is already connected\nClients=0\n"},
        {"password",
         {{"PASSWORD=", "PASSWORD=secret"}},
         [](ConnectFields& f) { f.password = "nope"; },
         chatBytes("[RVSERVER]: Invalid password. Connection refused"),
         "WRONG PASSWORD nope - client refused\n"},
    };
    for (const Refusal& r : cases) {
        SCOPED_TRACE(r.name);
        peers.clear();
        start(configWith(r.config));
        ConnectFields f = driver("guid-r");
        r.request(f);
        std::string console = connect(f);
        EXPECT_TRUE(server().clients.empty());
        EXPECT_EQ(server().joinCounter, 1);
        EXPECT_EQ(file("server/users/guid-r.rvuser"), "");
        EXPECT_NE(console.find(r.console), std::string::npos) << console;
        if (r.reply.empty()) {
            EXPECT_TRUE(peers[0]->received.empty());
        } else {
            ASSERT_EQ(peers[0]->received.size(), 1u);
            EXPECT_FALSE(peers[0]->received[0].reliable);
            EXPECT_EQ(peers[0]->received[0].bytes, r.reply);
        }
    }
}

TEST_F(Admission, DuplicateGuidIsIgnoredBeforeAnyOtherCheck) {
    start();
    connect(driver("guid-1"));
    ConnectFields again = driver("guid-1");
    again.version = 99;
    again.tyreChecksum = 5;
    std::string console = connect(again);
    EXPECT_EQ(console, "RV_CONNECT\nClient Driver refused, already here\n");
    EXPECT_TRUE(peers[1]->received.empty());
    ASSERT_EQ(server().clients.size(), 1u);
    EXPECT_TRUE(server().clients[0]->address == peers[0]->address());
}

TEST_F(Admission, RaceNumbersMoveToTheNextFreeOneAndTheJoinCounterSkipsZero) {
    start();
    const int requested[] = {7, 7, 9, 7};
    const int assigned[] = {7, 8, 9, 10};
    server().joinCounter = 254;
    for (int i = 0; i < 4; ++i)
        connect(driver("g" + std::to_string(i), uint16_t(requested[i])));
    ASSERT_EQ(server().clients.size(), 4u);
    const int ids[] = {254, 255, 1, 2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(server().clients[size_t(i)]->raceNumber, assigned[i]);
        EXPECT_EQ(server().clients[size_t(i)]->id, ids[i]);
        EXPECT_EQ(server().clients[size_t(i)]->slot, i);
    }
    server().logger.flush();
    EXPECT_NE(file(server().logger.fileName()).find(",JOIN,Driver,7,Team,gt1,g3,IT\n"),
              std::string::npos);
}

TEST_F(Admission, EntryListGivesBallastAndGridPlaceAndOpensAClosedSession) {
    start(configWith({{"ACCEPTNEW=1", "ACCEPTNEW=0"}},
                     "[ENTRYLIST]\nENTRIES=3\nUSEFORGRID=1\nDRIVER0=a\nBALLAST0=0\n"
                     "DRIVER1=b\nBALLAST1=0\nDRIVER2=c\nBALLAST2=15\n"));
    ASSERT_EQ(server().config.entryList.size(), 3u);
    connect(driver("a"));
    server().clients[0]->gridPlace = 2;
    connect(driver("c"));
    ASSERT_EQ(server().clients.size(), 2u);
    EXPECT_EQ(server().clients[1]->gridPlace, 2);
    EXPECT_EQ(server().clients[1]->entryBallast, 15.0f);
}

TEST_F(Admission, AdminPasswordOpensAPasswordedServerAndSpectatorsCountTowardsCapacity) {
    start(configWith({{"PASSWORD=", "PASSWORD=secret"}, {"MAXCLIENTS=8", "MAXCLIENTS=2"}}));
    ConnectFields admin = driver("boss-guid");
    admin.password = "boss";
    admin.spectator = true;
    EXPECT_NE(connect(admin).find("NEW CLIENT IS ADMIN\n"), std::string::npos);
    ConnectFields viewer = driver("viewer");
    viewer.password = "secret";
    viewer.spectator = true;
    connect(viewer);
    ASSERT_EQ(server().clients.size(), 2u);
    EXPECT_TRUE(server().clients[0]->isAdmin && server().clients[0]->isSpectator);
    EXPECT_FALSE(server().clients[1]->isAdmin);
    ConnectFields late = driver("late");
    late.password = "secret";
    connect(late);
    EXPECT_EQ(server().clients.size(), 2u);
}

TEST_F(Admission, MalformedRequestsNeverReadPastTheDatagramOrOverrunTheRecord) {
    start();
    std::vector<uint8_t> request = connectRequest(driver("short"));
    request.resize(100);  // the tyre checksum and everything after it read as zero
    send(request);
    EXPECT_EQ(peers[0]->received.at(0).bytes,
              chatBytes("[RVSERVER]: Only front.rvt rear.rvt tires are allowed on this server"));

    // Every text filled to its width with no terminator.
    request = connectRequest(driver(std::string(64, 'g')));
    std::fill(request.begin() + 65, request.begin() + 139, 'x');
    std::fill(request.begin() + 246, request.begin() + 278, 'n');
    putU32(request, 242, uint32_t(server().checksums.tyres));
    send(request);
    ASSERT_EQ(server().clients.size(), 1u);
    const CRVClientConnection& c = *server().clients[0];
    EXPECT_EQ(std::string(c.guid), std::string(63, 'g'));
    EXPECT_EQ(std::string(c.userName) + c.extraName + c.model, std::string(53, 'x'));
    EXPECT_EQ(std::string(c.nationality), std::string(31, 'n'));

    connect(driver("../escape"));  // admitted, but it gets no profile outside the folder
    EXPECT_EQ(server().clients.size(), 2u);
    EXPECT_EQ(file("server/escape.rvuser"), "");
}

}  // namespace
