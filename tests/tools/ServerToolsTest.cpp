// The built server as an operator runs it (signals, the crash report), and the companion
// programs against it: rvquery and rvadmin (and rvquery against peers that answer badly), and
// rvbot's simulated drivers.
#include <sys/resource.h>
#include <unistd.h>

#include <future>
#include <regex>

#include "platform/Platform.h"
#include "rvbot/BotFleet.h"
#include "tools/ToolRunner.h"

namespace {

const std::string kEvent = eventConfig(
    "SESSIONS=1\n" + session(0, 2, "Race", 600, 0, 7),
    {"MAXCLIENTS=10", "NAME=Tools Cup", "TRACK=oakfield", "CONFIGURATION=national", "CAR=gt3;",
     "PASSWORD=letmein", "ADMIN=pitwall", "PORT=%PORT%", "BANDWIDTH=5000", "RAIN=1", "DAMAGE=2"});

// rvquery's failure when the peer it asks answers its first datagram with `reply` from the port
// asked or, with `fromElsewhere`, from another, the token echoed unless `reply` carries one. The
// two ports read PEER and OTHER.
std::string askBadPeer(std::vector<uint8_t> reply, bool fromElsewhere) {
    const platform::SocketHandle socket = platform::udpOpen(), other = platform::udpOpen();
    std::vector<std::pair<std::string, std::string>> names;
    for (auto [s, name] : {std::pair{socket, "PEER"}, {other, "OTHER"}}) {
        platform::udpBind(s, 0);
        names.emplace_back("127.0.0.1:" + std::to_string(platform::udpLocalPort(s)), name);
    }
    auto run = std::async(std::launch::async, [&] {
        return runTool("rvquery", {names[0].first, "--timeout", "150"});
    });
    uint8_t buffer[64];
    SocketAddress asker;
    if (platform::udpWaitReadable(socket, 3000) &&
        platform::udpRecvFrom(socket, buffer, sizeof buffer, asker) == 5) {
        if (reply.size() == msgsize::kStatus && reply[102] == 0)
            std::copy(buffer + 1, buffer + 5, reply.begin() + 102);
        int error = 0;
        platform::udpSendTo(fromElsewhere ? other : socket, reply.data(), int(reply.size()), asker,
                            error);
    }
    std::string failure = run.get().failure();
    platform::udpClose(socket);
    platform::udpClose(other);
    for (const auto& [address, name] : names)
        while (failure.find(address) != std::string::npos)
            failure.replace(failure.find(address), address.size(), name);
    return failure;
}

const std::string kWarmUp =
    eventConfig("SESSIONS=1\n" + session(0, 0, "Warm-up", 0, 30),
                {"NAME=Live Cup", "PORT=%PORT%", "FRONTTIRE=", "REARTIRE="});

}  // namespace

// Terminate and the quit chord take different ways out of the loop; both must end in the
// orderly shut-down, which returns from the program with exit code 0.
TEST(ServerProcess, IgnoresInterruptAndEndsCleanlyOnTerminateOrQuitChord) {
    ServerProcess terminated(kWarmUp), quit(kWarmUp);
    ASSERT_TRUE(terminated.started && quit.started);
    EXPECT_EQ(terminated.signal(SIGINT, 150), -1) << "an interrupt does not stop the server";
    EXPECT_EQ(quit.signal(SIGINT, 150), -1);
    EXPECT_EQ(terminated.signal(SIGTERM, 2000), 0);
    EXPECT_EQ(quit.signal(SIGQUIT, 2000), 0);
}

TEST(ServerProcess, FatalSignalLeavesOneReportFlushesOutputAndEndsByTheSignal) {
    // Under the sanitizers, leave fatal signals to the server's own hook; the report is what is
    // wanted, not a core file.
    ::setenv("ASAN_OPTIONS", "handle_segv=0:handle_abort=0", 1);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ServerProcess server(kWarmUp);  // its status queries print lines no flush has written yet
    ASSERT_TRUE(server.started);
    const std::string p = std::to_string(server.pid);
    const int status = server.signal(SIGSEGV, 3000);
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;

    const std::vector<std::string> dumps = server.folder.list("dumps");
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        dumps[0], std::regex("rvServer_v1\\.0\\.3-\\d{8}-\\d{6}-" + p + "-" + p + "\\.dmp")))
        << dumps[0];
    const std::string report = server.folder.read("dumps/" + dumps[0]);
    const size_t frames = report.find("\nbacktrace of the crashing thread:\n");
    const size_t map = report.find("\nmemory map:\n");
    ASSERT_TRUE(frames != std::string::npos && map != std::string::npos && frames < map) << report;
    const std::string header =
        "rvServer v1\\.0\\.3 crash report\nsignal 11 \\(SIGSEGV\\)\ncode 0 \\(sent by process " +
        std::to_string(::getpid()) + "\\)\nfault address none\nprogram counter 0x[0-9a-f]+\n" +
        "process " + p + "\nthread " + p + "\nbuild id [0-9a-f]{40}\n";
    EXPECT_TRUE(std::regex_match(report.substr(0, frames), std::regex(header))) << report;
    EXPECT_NE(report.find("rvserver(", frames), std::string::npos) << "frames of the program";
    EXPECT_NE(report.find("rvserver\n", map), std::string::npos) << "where it was loaded";

    const std::string console = server.console();
    EXPECT_NE(console.find("Get status\n"), std::string::npos) << console;
    EXPECT_TRUE(console.ends_with("Docs folder is no-documents\n")) << console;
}

TEST(ToolsOnServer, QueryShowsStatusAndEchoAndAdminStartsTheRace) {
    ServerProcess server(kEvent);
    ASSERT_TRUE(server.started) << server.console();
    const std::string at = server.address();

    ToolRun asJson = runTool("rvquery", {at, "--json"});
    ASSERT_EQ(asJson.exitCode, 0) << asJson.err;
    json status = json::parse(asJson.out);
    EXPECT_GE(status["roundTripMs"].get<double>(), 0.0);
    status.erase("roundTripMs");
    EXPECT_EQ(status, json::parse(R"({"address":")" + at + R"(",
        "name":"Tools Cup","track":"oakfield","configuration":"national","car":"gt3;",
        "sessionType":2,"session":"race","status":"590sec to start","clients":0,"maxClients":10,
        "raceLaps":7,"access":"password","bandwidth":5000,"rain":1,"damage":2})"));

    ToolRun text = runTool("rvquery", {at});
    EXPECT_EQ(text.exitCode, 0);
    std::string lines;  // labels padded to one column
    for (auto [label, value] :
         std::vector<std::pair<std::string, std::string>>{{"server", at},
                                                          {"name", "Tools Cup"},
                                                          {"track", "oakfield"},
                                                          {"configuration", "national"},
                                                          {"car", "gt3;"},
                                                          {"session", "race, 590sec to start"},
                                                          {"clients", "0/10"},
                                                          {"race laps", "7"},
                                                          {"access", "password"},
                                                          {"bandwidth", "5000"},
                                                          {"rain", "1"},
                                                          {"damage", "2"}})
        lines += label + ":" + std::string(14 - label.size(), ' ') + value + "\n";
    EXPECT_EQ(text.out.substr(0, text.out.find("round trip:")), lines);
    ToolRun echo = runTool("rvquery", {at, "--echo"});
    EXPECT_EQ(echo.exitCode, 0);
    EXPECT_EQ(echo.out.rfind("echo from " + at + " in ", 0), 0u) << echo.out;

    // A wrong password changes nothing, and --verify says so; the right one starts the race.
    ToolRun wrong =
        runTool("rvadmin", {at, "--password", "guess", "--verify", "startRaceSequence"});
    EXPECT_EQ(wrong.failure(),
              "1 rvadmin: not confirmed: the race does not start within 20 s (race, 590sec to "
              "start); is the password right?\n");
    ToolRun start =
        runTool("rvadmin", {at, "--password", "pitwall", "--verify", "startRaceSequence"});
    EXPECT_EQ(start.exitCode, 0) << start.err;
    // The same millisecond still shows 20 s; any later one 10.
    if (const size_t twenty = start.out.find("20sec"); twenty != std::string::npos)
        start.out.replace(twenty, 2, "10");
    EXPECT_EQ(start.out, "sent \"startRaceSequence\" to " + at +
                             "; the server does not answer console commands\n"
                             "confirmed: the race starts within 20 s (race, 10sec to start)\n");
    EXPECT_EQ(runTool("rvadmin", {at, "--password", "pitwall", "setBallast", "0", "25.5"}).exitCode,
              0);
    EXPECT_EQ(runTool("rvadmin", {at, "--password", "pitwall", "ban", "10.0.0.0/8", "0"}).exitCode,
              0);
    EXPECT_TRUE(within(2000, [&] {
        return has(server.console(), "**** WARNING WRONG ADMIN PASSWORD DETECTED ****\n") &&
               has(server.console(), "parsing command: setBallast\n") &&
               has(server.folder.read("cfg/bans.ini"), "ADDRESS=10.0.0.0/8\r\n");
    })) << server.console();

    EXPECT_EQ(runTool("rvadmin", {at, "--password", "x", "kick", "3", "x"}).exitCode, 0);
    EXPECT_EQ(runTool("rvadmin", {at, "--password", "x", "ban", "1.2.3.4/40", "0"}).failure(),
              "2 rvadmin: BAD ADDRESS 1.2.3.4/40\n");
    EXPECT_EQ(runTool("rvadmin", {at, "--password", "x", "setBallast", "a", "1"}).exitCode, 2);
    EXPECT_EQ(runTool("rvquery", {}).exitCode, 2);
    EXPECT_EQ(runTool("rvquery", {"--help"}).exitCode, 0);
}

TEST(ToolsOnServer, QueryRefusesBadAnswersAndSilenceWithOneLineAndExitOne) {
    std::vector<uint8_t> reply(msgsize::kStatus, 0), wrongToken;
    reply[0] = RV_STATUS;
    (wrongToken = reply)[102] = 0xAB;
    const std::string failure = "1 rvquery: no answer from PEER within 150 ms (1 try); ";
    EXPECT_EQ(askBadPeer(wrongToken, false),
              failure + "ignored an answer: status reply with a wrong token\n");
    EXPECT_EQ(askBadPeer({reply.begin(), reply.begin() + 60}, false),
              failure + "ignored an answer: status reply of 60 bytes instead of 115\n");
    EXPECT_EQ(askBadPeer(reply, true),
              failure + "ignored an answer from another address (OTHER)\n");
    const std::string nobody = "127.0.0.1:" + std::to_string(freePort());
    EXPECT_EQ(runTool("rvquery", {nobody, "--timeout", "100", "--retries", "2"}).failure(),
              "1 rvquery: no answer from " + nobody + " within 100 ms (3 tries)\n");
    EXPECT_EQ(runTool("rvquery", {"127.0.0.1:99999"}).err,
              "rvquery: bad port in \"127.0.0.1:99999\"\n");
}

// The shipped demo folder is a working event as it stands: drivers without content files get in
// and get a profile. With car content installed and no tyre file named, the tyre path is the
// car's tyre folder, which must not stall the start-up.
TEST(Rvbot, DriversAndASpectatorGetInSeeEachOtherAndSignOff) {
    TempFolder folder;
    fs::copy(RV_SOURCE_DIR "/demo", folder.path(), fs::copy_options::recursive);
    folder.write("cars/gt_demo/rvdk/gt_demo.rvdk", "\x01");
    folder.makeFolder("cars/gt_demo/tyres");
    const uint16_t port = freePort();
    folder.write("cfg/rvservercfg.ini",
                 withEdits(folder.read("cfg/rvservercfg.ini"), {"PORT=" + std::to_string(port)}));
    pid_t pid = launch(folder.path(), {RV_SERVER_BINARY});
    EXPECT_TRUE(pid > 0 && answersStatus(port, 3000)) << folder.read("console.txt");

    FleetOptions o;
    o.port = port;
    o.drivers = 2;
    o.spectators = 1;
    o.seconds = 1.5;
    o.settleSeconds = 0.2;
    o.lapSeconds = 0.5;
    o.chatSeconds = 0.6;
    o.load = true;
    o.guidPrefix = "bot";
    BotFleet fleet(o);
    std::string error;
    ASSERT_TRUE(fleet.open(error)) << error;
    LoadReport r = fleet.run();
    stop(pid);

    EXPECT_EQ(std::tuple(r.failure, r.admitted, r.badSizes), std::tuple("", 3, 0u));
    EXPECT_EQ(folder.read("server/users/bot-1.rvuser"), "bot-1\n");
    EXPECT_GT(r.packetsPerClientPerSecond, 10.0);
    // Each client sees both drivers' updates (the spectator sends none).
    EXPECT_GT(r.latencyMs.count, 3u * 2 * 10);
    EXPECT_LT(r.latencyMs.p50, 1000.0);
    const std::string console = folder.read("console.txt");
    EXPECT_EQ(countOf(console, "RV_MOVEDANDREADY\n"), 3u);
    EXPECT_EQ(countOf(console, "Client signing off\n"), 3u);
    EXPECT_EQ(countOf(console, "OOO packet"), 0u);
    EXPECT_EQ(countOf(console, "CRC failed"), 0u) << "car updates, pings and laps fit";
    EXPECT_NE(console.find("[rvbot 01]: rvbot 01: lap "), std::string::npos);
}

// A fleet that cannot have a socket for every client does not start at all.
TEST(Rvbot, RefusesMoreClientsThanItCanOpenSocketsFor) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int spare = ::dup(0);  // the lowest free descriptor tells how many are in use
    ::close(spare);
    const rlimit tight{rlim_t(spare + 3), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    FleetOptions o;
    o.drivers = 10;
    BotFleet fleet(o);
    std::string error;
    const bool opened = fleet.open(error);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_FALSE(opened);
    EXPECT_EQ(error, "could open sockets for only 3 of 10 clients");
}
