#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "protocol/MessageTypes.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

std::string lobbyConfig(const std::string& car, const std::string& udpHost,
                        const std::string& httpHost) {
    std::string c = defaultConfig();
    c.replace(c.find("REGISTER=0"), 10, "REGISTER=1");
    c.replace(c.find("CAR=gt1;gt2;"), 12, "CAR=" + car);
    return c + crlf("[LOBBY]\nUDPHOST=" + udpHost + "\nHTTPHOST=" + httpHost + "\n");
}

Bytes registration(uint8_t type, uint32_t startTick) {
    Bytes m(37, 0);
    m[0] = type;
    putText(m, 1, "Test Server");
    putU32(m, 33, startTick);
    return m;
}

long msSince(Clock::time_point start) {
    return long(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A loopback TCP listener standing in for the lobby's web service. With `answer` it serves one
// request with `body`; without, it lets the connection wait in its backlog and never reads.
struct FakeWebLobby {
    explicit FakeWebLobby(std::string body, bool answer = true) : body_(std::move(body)) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sin;
        ::bind(fd, reinterpret_cast<sockaddr*>(&sin), len);
        ::listen(fd, 4);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
        port = ntohs(sin.sin_port);
        if (answer)
            worker = std::thread([this] { serveOne(); });
    }
    ~FakeWebLobby() {
        if (worker.joinable())
            worker.join();
        ::close(fd);
    }
    void serveOne() {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return;
        int c = ::accept(fd, nullptr, nullptr);
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd q{c, POLLIN, 0};
            ssize_t n = ::poll(&q, 1, 2000) > 0 ? ::recv(c, buf, sizeof buf, 0) : 0;
            if (n <= 0)
                break;
            request.append(buf, size_t(n));
        }
        std::string reply = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                            std::to_string(body_.size()) + "\r\n\r\n" + body_;
        for (size_t sent = 0; sent < reply.size();) {
            ssize_t n = ::send(c, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += size_t(n);
        }
        ::close(c);
    }

    int fd = -1;
    uint16_t port = 0;
    std::string request;
    std::thread worker;

  private:
    std::string body_;
};

}  // namespace

// The lobby sees one announcement, typed by the car, and its answer registers the server through
// the normal handler.
TEST(Lobby, AnAnsweringLobbyGetsOneAnnouncementTypedByTheCar) {
    for (auto [car, type] : {std::pair{"Doruvez1600;", 107}, {"Doruvez1600", 41}, {"gt1;", 41}}) {
        SCOPED_TRACE(car);
        TestClient lobby(0);
        ServerHarness h(lobbyConfig(car, "127.0.0.1:" + std::to_string(lobby.port()), "x"));
        h.start();
        lobby.setServerPort(h.port());
        std::thread answer([&] {
            if (lobby.waitFor(uint8_t(type), 2000))
                lobby.sendRaw({RV_REGISTERED, 1, 2, 3});
        });
        StdoutCapture out;
        h.server->registerWithLobby();
        answer.join();
        EXPECT_NE(out.take().find("REGISTERED TO RALVO NETWORK\n"), std::string::npos);
        EXPECT_TRUE(h.server->registeredWithLobby);
        lobby.drain(20);
        ASSERT_EQ(lobby.received.size(), 1u);
        EXPECT_EQ(lobby.received[0].datagram, registration(uint8_t(type), h.server->startTick));
        h.server->config.registerWithLobby = false;  // no web lobby here
    }
}

// A silent lobby: the server tries five more times at a lobby on this host, then runs on.
TEST(Lobby, ASilentLobbyGetsOneAnnouncementAndFiveMoreGoToThisHost) {
    TestClient lobby(0);
    ServerHarness h(lobbyConfig("gt1;", "127.0.0.1:" + std::to_string(lobby.port()), "x"));
    h.start();
    int local = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sin.sin_port = htons(32000);
    const bool localLobby = ::bind(local, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0;
    const auto start = Clock::now();
    h.server->registerWithLobby();
    EXPECT_GE(msSince(start), 5 * 501);
    EXPECT_FALSE(h.server->registeredWithLobby);
    lobby.drain(20);
    ASSERT_EQ(lobby.received.size(), 1u);
    const Bytes expected = registration(41, h.server->startTick);
    EXPECT_EQ(lobby.received[0].datagram, expected);
    if (localLobby) {
        uint8_t buf[64];
        std::vector<Bytes> further;
        for (pollfd p{local, POLLIN, 0}; ::poll(&p, 1, 20) > 0;)
            further.emplace_back(buf, buf + ::recv(local, buf, sizeof buf, 0));
        EXPECT_EQ(further, std::vector<Bytes>(5, expected));
    }
    ::close(local);
    h.server->config.registerWithLobby = false;
}

TEST(Lobby, ShutDownAsksTheWebLobbyToRemoveTheServerAndPrintsTheAnswer) {
    std::string body = "removed ";
    body.resize(600000, '%');  // printed as text, never as a format; kept only in part
    FakeWebLobby web(body);
    ServerHarness h(lobbyConfig("gt1;", "127.0.0.1", "127.0.0.1:" + std::to_string(web.port)));
    h.start();
    StdoutCapture out;
    h.server.reset();
    web.worker.join();
    EXPECT_EQ(out.take(), body.substr(0, 500000));
    EXPECT_EQ(web.request,
              "GET /rVTPRO/rVTPRO.RemoveServer.php?&i=0&p=0 HTTP/1.1\r\n"
              "Host: 127.0.0.1:" +
                  std::to_string(web.port) +
                  "\r\n"
                  "User-Agent: Ralvo client\r\n"
                  "Accept: */*\r\n"
                  "Cache-Control: no-cache\r\n"
                  "Pragma: no-cache\r\n\r\n");
}

TEST(Lobby, AWebLobbyThatNeverAnswersHoldsShutDownOnlyForItsTimeout) {
    FakeWebLobby web("", false);
    ServerHarness h(lobbyConfig("gt1;", "127.0.0.1", "127.0.0.1:" + std::to_string(web.port)));
    h.start();
    StdoutCapture out;
    const auto start = Clock::now();
    h.server.reset();
    EXPECT_LT(msSince(start), 3000 + 1000);
    EXPECT_EQ(out.take(), "");
}
