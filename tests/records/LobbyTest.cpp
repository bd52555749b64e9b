#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "platform/Platform.h"
#include "records/LobbyRegistration.h"
#include "support/RaceFixture.h"

namespace {

std::string lobbyConfig(const std::string& car, uint16_t udpPort, uint16_t httpPort = 1) {
    return withEdits(defaultConfig(), {"REGISTER=1", "CAR=" + car}) +
           crlf("[LOBBY]\nUDPHOST=127.0.0.1:" + std::to_string(udpPort) +
                "\nHTTPHOST=127.0.0.1:" + std::to_string(httpPort) + "\n");
}

Bytes announcement(uint8_t type, uint32_t startTick) {
    Bytes m(37, 0);
    m[0] = type;
    putText(m, 1, "Test Server");
    putU32(m, 33, startTick);
    return m;
}

}  // namespace

TEST(Lobby, AnAnsweringLobbyGetsOneAnnouncementTypedByTheCar) {
    for (auto [car, type] : {std::pair{"Doruvez1600;", 107}, {"Doruvez1600", 41}, {"gt1;", 41}}) {
        SCOPED_TRACE(car);
        TestClient lobby(0);
        ServerHarness h(lobbyConfig(car, lobby.port()));
        h.start();
        h.server->config.registerWithLobby = false;  // no web lobby to withdraw from here
        lobby.setServerPort(h.port());
        std::thread answer([&] {
            if (lobby.waitFor(uint8_t(type), 2000))
                lobby.sendRaw({RV_REGISTERED, 1, 2, 3});
        });
        const std::string console = printed([&] { h.server->registerWithLobby(); });
        answer.join();
        EXPECT_TRUE(h.server->registeredWithLobby);
        EXPECT_TRUE(has(console, "REGISTERED TO RALVO NETWORK\n"));
        lobby.drain(20);
        ASSERT_EQ(lobby.received.size(), 1u);
        EXPECT_EQ(lobby.received[0].datagram, announcement(uint8_t(type), h.server->startTick));
    }
}

// Each further attempt waits out one more pass than asked for, each pass at least 1 ms.
TEST(Lobby, ASilentLobbyGetsOneAnnouncementAndFiveMoreGoToThisHost) {
    TestClient lobby(0);
    ServerHarness h;
    h.start();
    std::unique_ptr<TestClient> local;
    try {
        local = std::make_unique<TestClient>(0, kLobbyPort);
    } catch (const std::exception&) {
        std::printf("port %d is taken: the further attempts go unchecked\n", kLobbyPort);
    }
    const Bytes expected = announcement(41, 1234);
    bool& answered = h.server->registeredWithLobby;
    answered = true;
    const uint32_t before = platform::monotonicMs();
    announceToLobby(h.server->router.socket, lobby.address(), expected.data(), int(expected.size()),
                    answered, 20);
    EXPECT_GE(platform::monotonicMs() - before, 5u * 21);
    EXPECT_FALSE(answered);
    for (auto [peer, copies] : {std::pair{&lobby, 1u}, {local.get(), 5u}}) {
        if (peer == nullptr)
            continue;
        peer->drain(20);
        EXPECT_EQ(peer->received.size(), copies);
        for (const Received& r : peer->received)
            EXPECT_EQ(r.datagram, expected);
    }
}

// A silent web lobby holds the removal up for as long as the reader's bounds allow, no longer.
TEST(Lobby, ShutDownSendsTheRemovalRequestAndPrintsTheAnswerAsText) {
    std::string body = "removed %s", request;
    body.resize(600000, '.');  // more than is kept
    // The web lobby serves one request; any later connection waits in the backlog, never read.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof sin;
    const timeval wait{5, 0};  // bounds the accept below
    ::setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::bind(listener, reinterpret_cast<sockaddr*>(&sin), len);
    ::listen(listener, 4);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&sin), &len);
    const std::string host = "127.0.0.1:" + std::to_string(ntohs(sin.sin_port));
    std::thread web([&] {
        const int c = ::accept(listener, nullptr, nullptr);
        char buf[4096];
        request.assign(buf, size_t(std::max<ssize_t>(0, ::recv(c, buf, sizeof buf, 0))));
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(c);
    });
    ServerHarness h(lobbyConfig("gt1;", 1, ntohs(sin.sin_port)));
    h.start();
    EXPECT_EQ(printed([&] { h.server.reset(); }), body.substr(0, 500000));
    web.join();
    EXPECT_EQ(request, "GET /rVTPRO/rVTPRO.RemoveServer.php?&i=0&p=0 HTTP/1.1\r\nHost: " + host +
                           "\r\nUser-Agent: Ralvo client\r\nAccept: */*\r\n"
                           "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n");

    std::string answer = "unset", console;
    const uint32_t before = platform::monotonicMs();
    console = printed([&] { answer = requestLobbyRemoval(host, 0, 100, 200); });
    const uint32_t taken = platform::monotonicMs() - before;
    EXPECT_TRUE(taken >= 195 && taken < 1000) << taken;  // its timer may end a moment early
    EXPECT_EQ(answer + console, "");
    ::close(listener);
}
