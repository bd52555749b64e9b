// What the service manager hears of the event, and an event closing before a stop.
#include <sys/socket.h>
#include <sys/un.h>

#include "support/RaceFixture.h"

namespace {

// The manager's end of NOTIFY_SOCKET (watchdog every 4 s), opened by the test in its folder.
struct NotifySocket {
    explicit NotifySocket(const std::string& name) {
        const std::string path = here.path() + "/" + name;
        sockaddr_un a{AF_UNIX, {}};
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
        ::setenv("WATCHDOG_USEC", "4000000", 1);
    }
    ~NotifySocket() { ::unsetenv("NOTIFY_SOCKET"), ::close(fd); }
    std::string take() {  // everything that has arrived, "|" after each
        std::string out;
        for (char b[512]; ssize_t n = ::recv(fd, b, sizeof b, 0) + 1;)
            out += std::string(b, size_t(n - 1)) + "|";
        return out;
    }
    TempFolder here;
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
};

using Service = RaceFixture;

TEST_F(Service, ReadyStatusOnChangesWatchdogAtHalfItsIntervalStoppingAndNoReadyWithoutThePort) {
    NotifySocket manager("notify");
    start();
    EXPECT_EQ(manager.take(), "READY=1|");
    at(0);
    EXPECT_EQ(manager.take(), "STATUS=Practice, starts in 30 s, 0 drivers|");
    attachDrivers(2);
    at(999);  // a change, but less than a second after the last line: nothing
    at(1000);
    EXPECT_EQ(manager.take(), "STATUS=Practice, starts in 29 s, 2 drivers|");
    at(2000);
    EXPECT_EQ(manager.take(), "WATCHDOG=1|STATUS=Practice, starts in 28 s, 2 drivers|");
    harness->clock.advance(7000);  // a loop frozen for longer than the interval: no beat
    at(40000);
    EXPECT_EQ(manager.take(), "WATCHDOG=1|STATUS=Practice, 10 min left, 2 drivers|");
    server().shutdown();
    EXPECT_EQ(manager.take(), "STOPPING=1|");
    ServerHarness second(withEdits(defaultConfig(), {"PORT=" + std::to_string(harness->port())}));
    testing::internal::CaptureStderr();  // a second event on the same port
    second.start();
    EXPECT_TRUE(
        has(testing::internal::GetCapturedStderr(),
            "[rvserver] UDP port " + std::to_string(harness->port()) + " could not be bound"));
    EXPECT_EQ(manager.take(), "") << "never ready";
}

TEST(ServiceNotify, SocketFullOrNowhereIsSaidOnceAndTheServerRunsAsWithout) {
    NotifySocket manager("full");
    StdoutCapture said;
    platform::ServiceNotify full;
    while (full.send("WATCHDOG=1")) {
    }  // a manager that never reads: the queue fills, and nothing waits for room
    ::setenv("NOTIFY_SOCKET", (manager.here.path() + "/nobody").c_str(), 1);
    platform::ServiceNotify lost;
    EXPECT_FALSE(lost.send("READY=1") || lost.send("READY=1"));
    const std::string head = "Service manager: NOTIFY_SOCKET=" + manager.here.path();
    const std::string tail = "; running without notifications\n";
    EXPECT_EQ(said.take(),
              head + "/full is full" + tail + head + "/nobody cannot be reached" + tail);
}

TEST_F(Service, DrainingRefusesNewcomersLetsTheRaceFinishAndEndsWithItsResults) {
    start(eventConfig("SESSIONS=1\n" + session(0, 2, "Race", 10, 0, 2)));
    auto drivers = attachDrivers(2);
    at(0);
    drivers[0]->isAdmin = true;  // an admin's chat command, then the remote console's: no change
    EXPECT_TRUE(has(deliver(drivers[0], adminCommand("", "drain")), "Draining: no new clients"));
    char drain[] = "drain";
    EXPECT_EQ(printed([&] { server().runCommand(drain); }), "parsing command: drain\n");
    peers.push_back(std::make_unique<TestClient>(harness->port()));
    for (const Bytes& m : {connectRequest({.guid = "late"}), statusQuery(7)}) {
        peers.back()->sendRaw(m);
        printed([&] { harness->receiveTurn(); });
    }
    peers.back()->drain();  // refused, and rvquery shows the access as closed
    EXPECT_EQ(peers.back()->received.at(0).bytes,
              chat("[RVSERVER]: The event is closing. Connection refused"));
    EXPECT_EQ(tool::readStatus(peers.back()->received.at(1).bytes).access, 0);
    at(10000);
    lap(drivers[0], 1, 90000, 90000);
    lap(drivers[1], 1, 91000, 91000);
    lap(drivers[0], 2, 90000, 180000);
    at(10001);
    EXPECT_EQ(std::pair(serviceStatusLine(server()), server().drained()),
              std::pair(std::string("Closing: Race, lap 2 of 2, 1 of 2 drivers"), false));
    lap(drivers[1], 2, 90000, 181000);
    at(10002);
    EXPECT_TRUE(server().drained() && has(results("Race"), "GUID=guid-D1\n"));
}

}  // namespace
