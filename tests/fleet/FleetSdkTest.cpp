// The event as a fleet host's sidecar hears it: a small HTTP server on loopback plays
// the sidecar, its port handed over in AGONES_SDK_HTTP_PORT.
#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "fleet/FleetSdk.h"
#include "runtime/NextWake.h"
#include "support/RaceFixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// Answers every request with `status` and junk; with `stall` keeps each one unanswered instead.
class FakeSidecar {
  public:
    explicit FakeSidecar(int status = 200, bool stall = false, int port = 0) {
        auto handler = [this, status, stall](const httplib::Request& q, httplib::Response& r) {
            if (std::lock_guard<std::mutex> lock(mutex_); true)
                heard_.push_back(q.method + " " + q.path + " " + q.body);
            if (stall)
                within(5000, [this] { return ending_.load(); });
            r.status = status;
            r.set_content("{\"junk", "application/json");
        };
        server_.set_keep_alive_max_count(1);  // stopping never waits out an idle connection
        server_.Post(".*", handler);
        server_.Put(".*", handler);
        if (port == 0)
            port_ = server_.bind_to_any_port("127.0.0.1");
        else
            server_.bind_to_port("127.0.0.1", port_ = port);
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // A stop before the accept loop runs would be lost, and the join would never return.
        within(2000, [this] { return server_.is_running(); });
    }
    ~FakeSidecar() {
        ending_ = true;
        server_.stop();
        thread_.join();
    }
    int port() const { return port_; }
    Lines heard() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heard_;
    }
    // Waits (bounded) until `count` requests have come.
    bool await(size_t count) {
        return within(5000, [&] { return heard().size() >= count; });
    }
    // All that came once `count` have, with a moment more for any extra.
    Lines settled(size_t count) {
        await(count);
        ::usleep(30000);
        return heard();
    }

  private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::atomic<bool> ending_ = false;
    Lines heard_;
};

struct SidecarPort {
    explicit SidecarPort(const std::string& v) { ::setenv(FleetSdk::kPortVariable, v.c_str(), 1); }
    explicit SidecarPort(int port) : SidecarPort(std::to_string(port)) {}
    ~SidecarPort() { ::unsetenv(FleetSdk::kPortVariable); }
};

// The process's console goes to `path` while this lives, so a test can wait for a line.
struct ConsoleToFile {
    explicit ConsoleToFile(const std::string& path) {
        std::fflush(stdout);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1), ::close(fd);
    }
    ~ConsoleToFile() {
        std::fflush(stdout);
        ::dup2(saved, 1);
        ::close(saved);
    }
    int saved = ::dup(1);
};

const std::string kReady = "POST /ready {}", kHealth = "POST /health {}";
std::string label(const std::string& key, const std::string& value) {
    return "PUT /metadata/label {\"key\":\"" + key + "\",\"value\":\"" + value + "\"}";
}
const std::string kTwoPractices =
    "SESSIONS=2\n" + session(0, 0, "Warm up", 0, 1) + session(1, 0, "Practice (2)", 0, 1);
const Lines kStart = {kReady, label("clients", "0"), label("session", "Warm_up"), kHealth};

using Fleet = RaceFixture;

TEST_F(Fleet, ReadyThenHealthAtItsCadenceAndTheClientCountAsDriversComeAndGo) {
    FakeSidecar sidecar;
    SidecarPort env(sidecar.port());
    start(eventConfig(kTwoPractices));
    EXPECT_EQ(sidecar.settled(1), Lines{kReady});
    at(0);
    EXPECT_EQ(sidecar.settled(4), kStart);
    at(1999);
    at(2000);
    sidecar.await(5);
    CRVClientConnection* al = attach("Al");
    at(2500);
    sidecar.await(6);
    server().removeClient(al);
    at(3999);
    EXPECT_EQ(nextWakeTime(server(), 3999, 0), 4000);  // the loop wakes for the beat
    at(4000);
    Lines expected = kStart;
    expected.insert(expected.end(),
                    {kHealth, label("clients", "1"), label("clients", "0"), kHealth});
    EXPECT_EQ(sidecar.settled(8), expected);
}

TEST_F(Fleet, SessionLabelFollowsTheSequenceAndShutdownComesOnlyWhenAskedFor) {
    for (bool asked : {true, false}) {
        FakeSidecar sidecar;
        SidecarPort env(sidecar.port());
        start(eventConfig(kTwoPractices) +
              (asked ? "[FLEET]\r\nSHUTDOWN_WHEN_FINISHED=1\r\n" : ""));
        at(0);
        sidecar.await(4);
        for (int64_t t = 5000; t < 400000 && !server().sequenceFinished; t += 5000)
            at(t);
        at(400000);
        Lines expected = {kReady, label("clients", "0"), label("session", "Warm_up"),
                          label("session", "Practice__2")};
        if (asked)
            expected.push_back("POST /shutdown {}");
        Lines heard = sidecar.settled(expected.size());
        std::erase(heard, kHealth);
        EXPECT_EQ(heard, expected) << asked;
        harness.reset();
    }
}

TEST_F(Fleet, NothingRunsWithoutAUsableSidecarPortOrWithoutTheEventsPort) {
    FakeSidecar sidecar;
    start(eventConfig(kTwoPractices));
    attach("Al");
    at(0);
    at(5000);
    EXPECT_EQ(server().fleet, nullptr);
    {
        SidecarPort env(sidecar.port());
        TestClient holder(0);  // the event's port is taken
        start(eventConfig(kTwoPractices, {"PORT=" + std::to_string(holder.port())}));
        at(0);
        EXPECT_EQ(server().fleet, nullptr);
    }
    for (const char* bad : {"", "sidecar", "0", "65536", "-1", "80x"}) {
        SidecarPort env(bad);
        StdoutCapture out;
        EXPECT_EQ(FleetSdk::fromEnvironment(), nullptr) << bad;
        EXPECT_EQ(out.take(), std::string("Fleet sidecar: AGONES_SDK_HTTP_PORT=") + bad +
                                  " is not a port; running without the sidecar\n");
    }
    EXPECT_EQ(sidecar.settled(0), Lines{});
}

// A sidecar that is not there yet, or that takes longer than the request timeout, is asked
// again; the failures make one console line.
TEST(FleetSidecar, OneNotThereYetOrTooSlowIsAskedAgainWithOneConsoleLine) {
    TempFolder folder;
    const int port = FakeSidecar().port();
    {
        ConsoleToFile console(folder.path() + "/console.txt");
        FleetSdk sdk(uint16_t(port), {.firstRetryMs = 10, .longestRetryMs = 40});
        sdk.ready();
        sdk.turn(0, {0, "Warm up", false});
        EXPECT_TRUE(within(2000, [&] { return folder.read("console.txt").size() > 0; }));
        FakeSidecar sidecar(200, false, port);
        EXPECT_EQ(sidecar.settled(4), kStart);
    }
    EXPECT_EQ(folder.read("console.txt"), "Fleet sidecar: POST /ready no answer, trying again\n");

    FakeSidecar slow(200, true);
    FleetSdk sdk(uint16_t(slow.port()), {.firstRetryMs = 10, .requestTimeoutMs = 100});
    sdk.ready();
    ASSERT_TRUE(slow.await(2));
    EXPECT_EQ(slow.heard()[1], kReady);
}

// Failing or silent sidecars never hold up a turn, so the drivers' 60 ms updates keep coming.
TEST_F(Fleet, ErrorsAndSilenceFromTheSidecarCostTheTurnsNothing) {
    for (bool stall : {false, true}) {
        FakeSidecar sidecar(500, stall);
        SidecarPort env(sidecar.port());
        start(eventConfig(kTwoPractices));
        attach("Al");
        attach("Bo");
        auto slowest = Clock::duration::zero();
        for (int64_t t = 0; t < 3000; t += 60) {
            const auto before = Clock::now();
            at(t);
            slowest = std::max(slowest, Clock::now() - before);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_LT(slowest, std::chrono::milliseconds(50)) << stall;
        EXPECT_TRUE(sidecar.await(1));
        const auto before = Clock::now();
        harness.reset();  // a request on its way is abandoned, not waited out
        EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(2500)) << stall;
    }
}

}  // namespace
