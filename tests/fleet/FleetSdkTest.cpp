// The event as a fleet host's sidecar hears it (a small HTTP server on loopback plays the
// sidecar, its port handed over in AGONES_SDK_HTTP_PORT), and the image and fleet manifests that
// must agree with the server.
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "fleet/FleetSdk.h"
#include "runtime/NextWake.h"
#include "runtime/ZTINIReader.h"
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
    ~SidecarPort() { ::unsetenv(FleetSdk::kPortVariable); }
};

const std::string kPackaging = std::string(RV_SOURCE_DIR) + "/packaging/";

// Every "key: value" of the plain block YAML the manifests are written in (two spaces a level,
// "- " list items, comments, no tabs); a line of any other shape is kept under "?".
std::map<std::string, Lines> manifest(const std::string& name) {
    static const std::regex shape(R"(((  )*)(- )?([A-Za-z][A-Za-z0-9]*):( (.*))?| *(#.*)?)");
    std::map<std::string, Lines> values;
    std::ifstream in(kPackaging + "agones/" + name);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, shape))
            values["?"].push_back(line);
        else if (m[6].matched)
            values[m[4]].push_back(m[6]);
    }
    return values;
}

const std::string kReady = "POST /ready {}", kHealth = "POST /health {}";
std::string label(const std::string& key, const std::string& value) {
    return "PUT /metadata/label {\"key\":\"" + key + "\",\"value\":\"" + value + "\"}";
}
const std::string kTwoPractices =
    "SESSIONS=2\n" + session(0, 0, "Warm up", 0, 1) + session(1, 0, "Practice (2)", 0, 1);
const Lines kStart = {kReady, label("clients", "0"), label("session", "Warm_up"), kHealth};

using Fleet = RaceFixture;

}  // namespace

TEST_F(Fleet, ReadyHealthAtItsCadenceClientCountSessionLabelAndShutdownOnlyWhenAskedFor) {
    for (bool asked : {true, false}) {
        FakeSidecar sidecar;
        SidecarPort env(std::to_string(sidecar.port()));
        start(eventConfig(kTwoPractices) +
              (asked ? "[FLEET]\r\nSHUTDOWN_WHEN_FINISHED=1\r\n" : ""));
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

        for (int64_t t = 5000; t < 400000 && !server().sequenceFinished; t += 5000)
            at(t);
        at(400000);
        std::erase(expected, kHealth);
        expected.push_back(label("session", "Practice__2"));
        if (asked)
            expected.push_back("POST /shutdown {}");
        Lines heard = sidecar.settled(expected.size());
        std::erase(heard, kHealth);
        EXPECT_EQ(heard, expected) << asked;
        printed([&] { server().startDraining(); });  // the fleet hands a closing event out no more
        at(400001);
        EXPECT_EQ(sidecar.settled(sidecar.heard().size() + 1).back(), label("draining", "true"));
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
        SidecarPort env(std::to_string(sidecar.port()));
        TestClient holder(0);  // the event's port is taken
        start(eventConfig(kTwoPractices, {"PORT=" + std::to_string(holder.port())}));
        at(0);
        EXPECT_EQ(server().fleet, nullptr);
    }
    for (const char* bad : {"", "sidecar", "0", "65536", "-1", "80x"}) {
        SidecarPort env(bad);
        EXPECT_EQ(printed([] { EXPECT_EQ(FleetSdk::fromEnvironment(), nullptr); }),
                  std::string("Fleet sidecar: AGONES_SDK_HTTP_PORT=") + bad +
                      " is not a port; running without the sidecar\n");
    }
    EXPECT_EQ(sidecar.settled(0), Lines{});
}

// A sidecar that is not there yet, or that takes longer than the request timeout, is asked
// again; the failures make one console line.
TEST(FleetSidecar, OneNotThereYetOrTooSlowIsAskedAgainWithOneConsoleLine) {
    TempFolder folder;
    const int port = FakeSidecar().port();
    std::fflush(stdout);
    const int terminal = ::dup(1);  // the console goes to a file, so the test can wait for a line
    ASSERT_TRUE(std::freopen((folder.path() + "/console.txt").c_str(), "w", stdout));
    {
        FleetSdk sdk(uint16_t(port), {.firstRetryMs = 10, .longestRetryMs = 40});
        sdk.ready();
        sdk.turn(0, {0, "Warm up", false});
        EXPECT_TRUE(within(2000, [&] { return folder.read("console.txt").size() > 0; }));
        FakeSidecar sidecar(200, false, port);
        EXPECT_EQ(sidecar.settled(4), kStart);
    }
    std::fflush(stdout);
    ::dup2(terminal, 1);
    ::close(terminal);
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
        SidecarPort env(std::to_string(sidecar.port()));
        start(eventConfig(kTwoPractices));
        attachDrivers(2);
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

TEST(FleetManifests, ParseAndNameTheServersPortAndAHealthPeriodItsBeatsFill) {
    ZTINIReader ini;
    ini.load(std::string(RV_SOURCE_DIR) + "/demo/cfg/rvservercfg.ini");
    const std::string port = std::to_string(ini.getInt("CONFIGURATION", "PORT"));
    for (const char* name : {"gameserver.yaml", "fleet.yaml"}) {
        auto m = manifest(name);
        EXPECT_EQ(m["?"], Lines{}) << name;
        EXPECT_EQ(m["containerPort"], Lines{port}) << name;
        EXPECT_EQ(m["protocol"], Lines{"UDP"}) << name;
        EXPECT_EQ(m["mountPath"].at(0), "/srv/ralvo/cfg") << name;
        EXPECT_GE(std::stoi(m["periodSeconds"].at(0)) * 1000, 2 * FleetSdk::kHealthIntervalMs);
        EXPECT_GE(std::stoi(m["failureThreshold"].at(0)), 2) << name;
    }
    auto autoscaler = manifest("fleetautoscaler.yaml");
    EXPECT_EQ(autoscaler["?"], Lines{});
    EXPECT_EQ(autoscaler["fleetName"], Lines{manifest("fleet.yaml")["name"].at(0)});

    std::ifstream in(kPackaging + "Dockerfile");
    const std::string docker((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(docker.find("EXPOSE " + port + "/udp"), std::string::npos);
    EXPECT_NE(docker.find(R"(["rvquery", "--echo", "--timeout", "2000", "127.0.0.1:)" + port),
              std::string::npos);
}
