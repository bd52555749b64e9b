// The event as a fleet host's sidecar hears it (a small HTTP server on loopback plays the
// sidecar, its port handed over in AGONES_SDK_HTTP_PORT), and the image and fleet manifests that
// must agree with the server.
#include <httplib.h>
#include <unistd.h>
#include <yaml-cpp/yaml.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "fleet/FleetSdk.h"
#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteReader.h"
#include "runtime/NextWake.h"
#include "runtime/ZTINIReader.h"
#include "support/RaceFixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// A GameServer document as the sidecar writes it.
std::string gameServer(const std::string& state, const std::string& ports,
                       const std::string& event = "") {
    return R"({"object_meta":{"name":"ralvo-event-x","annotations":{"rvserver/event":")" + event +
           R"("}},"status":{"state":")" + state + R"(","address":"10.0.0.7","ports":[)" + ports +
           "]}}";
}
const std::string kAllocated = gameServer("Allocated", R"({"name":"race","port":7777})");

// Answers every request with `status` and junk, but the first `readyFailures` /ready with 503;
// with `stall` keeps each one unanswered instead. It describes the GameServer `document()`, on
// the watch stream too; the lobby's web service is here as well.
class FakeSidecar {
  public:
    explicit FakeSidecar(int status = 200, bool stall = false, int port = 0,
                         int readyFailures = 0) {
        auto handler = [=, this](const httplib::Request& q, httplib::Response& r) mutable {
            const bool described = q.path == "/gameserver";
            if (std::lock_guard<std::mutex> lock(mutex_); !described)
                heard_.push_back(q.method + " " + q.target + " " + q.body);
            if (stall && !described)
                within(5000, [this] { return ending_.load(); });
            r.status = q.path == "/ready" && readyFailures-- > 0 ? 503 : status;
            r.set_content(described ? document() : "{\"junk", "application/json");
        };
        server_.set_keep_alive_max_count(1);  // stopping never waits out an idle connection
        server_.Post(".*", handler);
        server_.Put(".*", handler);
        server_.Get("/watch/gameserver", [=, this](const httplib::Request&, httplib::Response& r) {
            const int stream = ++watches;
            r.status = status;
            if (status == 200)
                r.set_chunked_content_provider(
                    "application/json",
                    [this, stream, sent = std::string()](size_t, httplib::DataSink& sink) mutable {
                        within(50, [&] { return ending_ || document() != sent; });
                        if (ending_ || stream <= closedWatches)
                            return false;
                        sent = document();
                        const std::string line = sent + "\n";
                        return sink.write(line.data(), line.size());
                    });
        });
        server_.Get(".*", handler);
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
    std::string document() {
        std::lock_guard<std::mutex> lock(mutex_);
        return document_;
    }
    void describe(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        document_ = text;
    }
    std::atomic<int> watches = 0, closedWatches = 0;
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
    std::string document_ = kAllocated;
};

struct Variable {
    Variable(const char* name, const std::string& v) : name(name) { ::setenv(name, v.c_str(), 1); }
    ~Variable() { ::unsetenv(name); }
    const char* name;
};
struct SidecarPort : Variable {
    explicit SidecarPort(const std::string& v) : Variable(FleetSdk::kPortVariable, v) {}
};

const std::string kPackaging = std::string(RV_SOURCE_DIR) + "/packaging/";

const std::string kReady = "POST /ready {}", kHealth = "POST /health {}";
std::string label(const std::string& key, const std::string& value) {
    return "PUT /metadata/label {\"key\":\"" + key + "\",\"value\":\"" + value + "\"}";
}
const std::string kTwoPractices =
    "SESSIONS=2\n" + session(0, 0, "Warm up", 0, 1) + session(1, 0, "Practice (2)", 0, 1);
const Lines kStart = {kReady, label("clients", "0"), label("session", "Warm_up"), kHealth};

struct Fleet : RaceFixture {
    void awaitGameServer() {
        FleetGameServer known;
        ASSERT_TRUE(within(5000, [&] { return server().fleet->gameServer(known); }));
    }
};

}  // namespace

TEST_F(Fleet, ReadyHealthAtItsCadenceClientCountSessionLabelAndShutdownOnlyWhenAskedFor) {
    for (bool asked : {true, false}) {
        FakeSidecar sidecar;
        SidecarPort env(std::to_string(sidecar.port()));
        start(eventConfig(kTwoPractices) +
              (asked ? "[FLEET]\r\nSHUTDOWN_WHEN_FINISHED=1\r\n" : ""));
        awaitGameServer();
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

// A sidecar that is not there yet, answers 503 while it starts, or takes longer than the request
// timeout, is asked again; the failures make one console line.
TEST(FleetSidecar, OneNotThereYetOrTooSlowIsAskedAgainWithOneConsoleLine) {
    TempFolder folder;
    const int port = FakeSidecar().port();
    std::fflush(stdout);
    const int terminal = ::dup(1);  // the console goes to a file, so the test can wait for a line
    ASSERT_TRUE(std::freopen((folder.path() + "/console.txt").c_str(), "w", stdout));
    {
        FleetSdk sdk(uint16_t(port), {.firstRetryMs = 10, .longestRetryMs = 40});
        EXPECT_TRUE(within(2000, [&] { return folder.read("console.txt").size() > 0; }));
        sdk.ready();
        sdk.turn(0, {0, "Warm up", false});
        FakeSidecar sidecar(200, false, port, 2);
        Lines twoMore = kStart;
        twoMore.insert(twoMore.begin(), 2, kReady);
        EXPECT_EQ(sidecar.settled(6), twoMore);
    }
    std::fflush(stdout);
    ::dup2(terminal, 1);
    ::close(terminal);
    EXPECT_EQ(folder.read("console.txt"),
              "Fleet sidecar: GET /gameserver no answer, trying again\n");

    FakeSidecar slow(200, true);
    FleetSdk sdk(uint16_t(slow.port()), {.firstRetryMs = 10, .requestTimeoutMs = 100});
    sdk.ready();
    ASSERT_TRUE(slow.await(2));
    EXPECT_EQ(slow.heard()[1], kReady);
}

// Before the allocation nothing runs: no session, no countdown; status answers say "waiting".
TEST_F(Fleet, HoldsTheFirstSessionUntilTheWatchSaysAllocatedAndTellsDriversTheHostPort) {
    FakeSidecar sidecar;
    sidecar.describe(gameServer("Ready", R"({"name":"race","port":7777})"));
    SidecarPort env(std::to_string(sidecar.port()));
    start();
    awaitGameServer();
    EXPECT_TRUE(has(at(0), "Fleet: clients reach this event on port 7777\n"));
    EXPECT_EQ(sidecar.settled(1).at(0), kReady);
    TestClient asker(harness->port());
    asker.sendRaw(statusQuery(1));
    for (int64_t t = 1000; t <= 3600000; t += 60000) {
        at(t);
        EXPECT_GT(nextWakeTime(server(), t, 0), t);  // resting, not spinning
    }
    printed([&] { harness->receiveTurn(); });
    ASSERT_TRUE(asker.waitFor(RV_STATUS));
    EXPECT_STREQ(
        reinterpret_cast<const char*>(&asker.first(RV_STATUS).bytes[status_reply::kStatusDesc]),
        "waiting");
    EXPECT_EQ(server().currentSession, -1);

    sidecar.closedWatches = sidecar.watches.load();  // the stream breaks and comes back
    ASSERT_TRUE(within(5000, [&] { return sidecar.watches > sidecar.closedWatches; }));
    sidecar.describe(gameServer("Allocated", R"({"name":"race","port":7777})", "Sunday Cup"));
    std::string console;
    ASSERT_TRUE(within(5000, [&] {
        console += at(3700000);
        return server().currentSession == 0;
    }));
    EXPECT_TRUE(has(console, "Fleet: allocated for Sunday Cup, the first session begins\n"));
    EXPECT_EQ(server().current()->startTime, 3700000u + 30000u);
    TestClient driver(harness->port());
    ConnectFields f;
    f.tyreChecksum = server().checksums.tyres;
    driver.sendRaw(connectRequest(f));
    printed([&] { harness->receiveTurn(); });
    ASSERT_TRUE(driver.waitFor(RV_ACCEPTED));
    ByteReader accepted(driver.first(RV_ACCEPTED).bytes.data(), int(acceptance::kSize));
    accepted.seek(acceptance::kPort);
    EXPECT_EQ(accepted.u32(), 7777u);
}

TEST_F(Fleet, SaysReadyOnlyOnItsOnePortAndUnderPassthroughBindsTheGivenOne) {
    const int given = TestClient(0).port();  // free a moment ago
    const std::string one = R"({"name":"race","port":)" + std::to_string(given) + "}";
    struct Case {
        std::string ports, declared, line;
    };
    for (const Case& c : std::vector<Case>{
             {"", "", "the GameServer names 0 ports where the event needs exactly one"},
             {one + "," + one, "",
              "the GameServer names 2 ports where the event needs exactly one"},
             {one, "6000",
              "the server bound UDP port * but the fleet forwards to containerPort 6000"},
             {one, "Passthrough", ""}}) {
        FakeSidecar sidecar;
        sidecar.describe(gameServer("Ready", c.ports));
        SidecarPort env(std::to_string(sidecar.port()));
        Variable declared(FleetSdk::kContainerPortVariable, c.declared);
        TestClient lobby(0);  // which, under Passthrough, hears of the event once it is bound
        lobby.setServerPort(uint16_t(given));
        start(withEdits(defaultConfig(), {c.line.empty() ? "REGISTER=1" : "REGISTER=0"}) +
              crlf("[LOBBY]\nUDPHOST=127.0.0.1:" + std::to_string(lobby.port()) +
                   "\nHTTPHOST=127.0.0.1:" + std::to_string(sidecar.port()) + "\n"));
        server().registerWithLobby();
        std::thread answer([&] {
            if (lobby.waitFor(RV_REGISTERED, c.line.empty() ? 3000 : 0))
                lobby.sendRaw({RV_REGISTERED, 1, 2, 3});
        });
        awaitGameServer();
        std::string line = c.line;
        if (line.find('*') != std::string::npos)
            line.replace(line.find('*'), 1, std::to_string(harness->port()));
        const std::string console = at(0) + at(1000);
        answer.join();
        if (c.line.empty()) {
            EXPECT_EQ(harness->port(), given);
            EXPECT_TRUE(server().registeredWithLobby);
            EXPECT_EQ(sidecar.settled(1).at(0), kReady);
            harness.reset();
            EXPECT_EQ(sidecar.heard().back(),
                      "GET /rVTPRO/rVTPRO.RemoveServer.php?&i=0&p=" + std::to_string(given) + " ");
        } else {
            EXPECT_EQ(countOf(console, "Fleet: " + line + "; the event does not say ready\n"), 1u);
            EXPECT_EQ(std::ranges::count(sidecar.settled(2), kReady), 0) << c.declared;
        }
    }
}

// Failing, silent or junk-answering sidecars (closing the watch at once) never hold up a turn,
// so the drivers' 60 ms updates keep coming, and they are asked again only after growing waits.
TEST_F(Fleet, ErrorsAndSilenceFromTheSidecarCostTheTurnsNothing) {
    for (int stall : {0, 1, 2}) {
        FakeSidecar sidecar(stall == 2 ? 200 : 500, stall == 1);
        if (stall == 2) {
            sidecar.describe("{\"junk");
            sidecar.closedWatches = 1 << 30;
        }
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
        EXPECT_EQ(server().currentSession, -1);
        EXPECT_LE(sidecar.watches, 4);
        const auto before = Clock::now();
        harness.reset();  // a request on its way is abandoned, not waited out
        EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(2500)) << stall;
    }
}

namespace {

// A cluster object's body: the one key beside its type, version, name and observed state.
YAML::Node body(const YAML::Node& object) {
    for (const auto& entry : object) {
        const std::string key = entry.first.as<std::string>();
        if (key != "apiVersion" && key != "kind" && key != "metadata" && key != "status")
            return entry.second;
    }
    return YAML::Node();
}

}  // namespace

// The GameServers of the manifests, as the fleet host reads them, agree with the server.
TEST(FleetManifests, PortProbesAndOneRecordsFolderPerPodAgreeWithTheServer) {
    ZTINIReader ini;
    ini.load(std::string(RV_SOURCE_DIR) + "/demo/cfg/rvservercfg.ini");
    const std::string port = std::to_string(ini.getInt("CONFIGURATION", "PORT"));
    const YAML::Node fleet = YAML::LoadFile(kPackaging + "agones/fleet.yaml");
    for (const YAML::Node& server : {body(YAML::LoadFile(kPackaging + "agones/gameserver.yaml")),
                                     body(body(fleet)["template"])}) {
        ASSERT_EQ(server["ports"].size(), 1u);
        const YAML::Node race = server["ports"][0];
        EXPECT_EQ(race["protocol"].as<std::string>(), "UDP");
        const bool passthrough = race["portPolicy"].as<std::string>() == "Passthrough";
        EXPECT_EQ(race["containerPort"].as<std::string>(""), passthrough ? "" : port);
        EXPECT_GE(server["health"]["periodSeconds"].as<int>() * 1000,
                  2 * FleetSdk::kHealthIntervalMs);
        EXPECT_GE(server["health"]["failureThreshold"].as<int>(), 2);
        const YAML::Node container = body(server["template"])["containers"][0];
        std::map<std::string, YAML::Node> env;
        for (const YAML::Node& each : container["env"])
            env[each["name"].as<std::string>()] = each;
        EXPECT_EQ(env[FleetSdk::kContainerPortVariable]["value"].as<std::string>(),
                  passthrough ? "Passthrough" : port);
        EXPECT_EQ(env["POD_NAME"]["valueFrom"]["fieldRef"]["fieldPath"].as<std::string>(),
                  "metadata.name");
        Lines records;
        for (const YAML::Node& mount : container["volumeMounts"])
            if (mount["name"].as<std::string>() == "records")
                records.push_back(mount["subPathExpr"].as<std::string>("?") + " " +
                                  mount["mountPath"].as<std::string>());
            else
                EXPECT_EQ(mount["mountPath"].as<std::string>(), "/srv/ralvo/cfg");
        EXPECT_EQ(records, (Lines{"$(POD_NAME)/logs /srv/ralvo/server/logs",
                                  "$(POD_NAME)/sessions /srv/ralvo/server/sessions",
                                  "$(POD_NAME)/replay /srv/ralvo/server/replay"}));
    }
    EXPECT_EQ(body(YAML::LoadFile(kPackaging + "agones/fleetautoscaler.yaml"))["fleetName"]
                  .as<std::string>(),
              fleet["metadata"]["name"].as<std::string>());
    const YAML::Node allocation = body(YAML::LoadFile(kPackaging + "agones/allocation.yaml"));
    EXPECT_TRUE(allocation["metadata"]["annotations"][FleetSdk::kEventAnnotation].IsScalar());

    std::ifstream in(kPackaging + "Dockerfile");
    const std::string docker((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(docker.find("EXPOSE " + port + "/udp"), std::string::npos);
    EXPECT_NE(docker.find(R"(["rvquery", "--echo", "--timeout", "2000", "127.0.0.1:)" + port),
              std::string::npos);
}
