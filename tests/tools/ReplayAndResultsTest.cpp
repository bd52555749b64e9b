// rvreplay and rvresults on the files of a short event run by an in-process server.
#include "tools/ToolRunner.h"

namespace {

const std::string kSessions =
    "SESSIONS=2\n" + session(0, 0, "Practice", 2, 1) + session(1, 2, "Race", 5, 0, 2);

// A short event run live on the fake clock, its turns spaced as the main loop spaces them: three
// drivers join, one chats, one falls silent and is lost, practice laps, a two-lap race won,
// and a sign-off.
struct LiveEvent {
    LiveEvent() : harness(eventConfig(kSessions)) {
        harness.start();
        StdoutCapture quiet;
        CRVServer& s = *harness.server;
        TestClient ann(harness.port()), bob(harness.port()), cid(harness.port());
        harness.turn();
        for (auto [t, peer, guid, name] : {std::tuple{500, &ann, "guid-a", "Ann"},
                                           {700, &bob, "guid-b", "Bob"},
                                           {1000, &cid, "guid-c", "Cid"}})
            sendAt(t, *peer,
                   connectRequest(
                       {.guid = guid, .userName = name, .tyreChecksum = s.checksums.tyres}));
        sendAt(10000, ann, chat("hello, all"));
        sendAt(20000, ann, lapMessage(1, 19000, 9000, 19000));
        sendAt(22000, bob, lapMessage(1, 21000, 10000, 21000));
        for (int64_t t = 30000; t <= 85000; t += 5000) {  // Cid stays silent
            sendAt(t, ann, peer::ping(0, 0));
            sendAt(t + 1, bob, peer::ping(0, 0));
        }
        sendAt(90000, ann, lapMessage(2, 12000, 6000, 12000));
        sendAt(92000, bob, lapMessage(2, 14000, 7000, 14000));
        sendAt(100000, ann, lapMessage(3, 10000, 5000, 22000));
        sendAt(103000, bob, lapMessage(3, 11000, 5000, 25000));
        sendAt(105000, bob, {RV_SIGNOFF});
        runTo(106000);
        s.flushOutput();
        log = harness.folder.read(s.logger.fileName());
        harness.server.reset();  // closes the recording
    }
    uint32_t step() const { return harness.server->clients.size() < 2 ? 10 : 1; }
    void runTo(int64_t t) {
        while (harness.server->serverTime + step() <= t)
            harness.advance(step());
    }
    void sendAt(int64_t t, TestClient& client, const Bytes& message) {
        runTo(t - 1);
        client.sendRaw(message);
        harness.clock.advance(step());
        ASSERT_TRUE(harness.receiveTurn());
    }

    ServerHarness harness;
    std::string log;
};

LiveEvent& live() {
    static LiveEvent event;
    return event;
}

// rvreplay on the live event's recording in `workdir` (the live event's folder when empty),
// writing to `out`.
ToolRun replay(const TempFolder& out, std::vector<std::string> args,
               const std::string& workdir = "") {
    args.insert(args.end(), {"--dir", workdir.empty() ? live().harness.folder.path() : workdir,
                             "--out", out.path()});
    return runTool(RV_REPLAY_BINARY, args);
}

// The first file in `folder` whose name starts with `prefix`; "" when there is none.
std::string fileNamed(const TempFolder& folder, const std::string& prefix) {
    for (const std::string& name : folder.list("."))
        if (name.starts_with(prefix))
            return folder.read(name);
    return "";
}

}  // namespace

// Replayed in a folder whose configuration has changed since, the log names the configuration as
// it is now; everything else comes out line for line, with the standings on stdout.
TEST(ReplayTool, RebuildsTheLiveEventsLogAndResultsUnderTheConfigurationAsItIsNow) {
    const LiveEvent& event = live();
    TempFolder changed, out;
    changed.write("cfg/rvservercfg.ini",
                  eventConfig(kSessions, {"NAME=Other Server", "CONFIGURATION=long"}));
    changed.write(kRecording, event.harness.folder.read(kRecording));
    const ToolRun r = replay(out, {}, changed.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 35), "Race (race) at 1:45:000, 1 clients\n");
    EXPECT_TRUE(has(r.err, "rvreplay: 35 messages, 1:45 of server time, in ")) << r.err;
    EXPECT_TRUE(has(out.read("console.txt"), "freeing slot"));
    std::string log = event.log;
    log.replace(log.find("testring,short"), 14, "testring,long");
    EXPECT_EQ(fileNamed(out, "rvserverlog["), log);
    EXPECT_EQ(fileNamed(out, "Other Server_Practice_"),
              event.harness.folder.read(resultsPath("Practice")));
    EXPECT_EQ(fileNamed(out, "Other Server_Race_"), event.harness.folder.read(resultsPath("Race")));
    EXPECT_EQ(std::ranges::count_if(out.list("."), [](auto& n) { return n.starts_with("Other"); }),
              2);
    EXPECT_TRUE(out.exists("serverStats.txt"));
    EXPECT_EQ(changed.list("server/replayed").size(), 0u) << "only --out is written";
}

TEST(ReplayTool, StopsAtACutRecordAndAtTheRequestedTime) {
    TempFolder cut, out, until;
    const std::string whole = live().harness.folder.read(kRecording);
    cut.write("cut.rvsr", whole.substr(0, whole.size() - 1));  // into the sign-off's record
    EXPECT_EQ(replay(out, {"--recording", cut.path() + "/cut.rvsr"})
                  .err.rfind("rvreplay: the recording ends inside a record at byte " +
                                 std::to_string(whole.size() - 29) +
                                 "; replaying the 34 messages before\n",
                             0),
              0u);
    const std::string log = live().log;
    const size_t lastLine = log.rfind('\n', log.size() - 2) + 1;
    EXPECT_EQ(fileNamed(out, "rvserverlog["), log.substr(0, lastLine))
        << "all but the sign-off's removal";

    EXPECT_EQ(
        replay(until, {"--until", "1:41"}).out,
        "Race (race) at 1:41:000, 2 clients\n"
        "POS  GUID                 NAME                  LAPS     BESTLAP  QUALIFYLAP    RACETIME\n"
        "  1  guid-a               Ann                      2    0:10:000           -    0:22:000\n"
        "  2  guid-b               Bob                      1    0:14:000           -    "
        "0:14:000\n");
    EXPECT_EQ(fileNamed(until, "Test Server_Race_"), "") << "the race was not over yet";
}

// The program itself: one-line errors on stderr and exit codes a script can test.
TEST(ReplayTool, CommandLineAnswersBadInputInOneLine) {
    TempFolder work;
    const std::string event = work.path() + "/event", file = std::string("event/") + kRecording;
    auto run = [&](std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"--dir", event});
        return runTool(RV_REPLAY_BINARY, more).failure();
    };
    work.makeFolder("event");
    EXPECT_EQ(run(),
              "1 rvreplay: no configuration: " + event + "/cfg/rvservercfg.ini is missing\n");
    work.write("event/cfg/rvservercfg.ini", eventConfig(kSessions));
    EXPECT_EQ(run(), "1 rvreplay: cannot read the recording " + work.path() + "/" + file + "\n");
    work.write(file, "");
    EXPECT_EQ(run(),
              "1 rvreplay: the recording " + work.path() + "/" + file + " holds no message\n");
    EXPECT_EQ(run({"--until", "1:5"}), "2 rvreplay: --until wants M:SS, not \"1:5\"\n");
}

TEST(Results, EventBecomesOneDocumentPerSessionAndAPageAndDamageIsPlaced) {
    TempFolder event;
    fs::copy(live().harness.folder.path(), event.path(), fs::copy_options::recursive);
    const std::string dir = event.path();
    ToolRun run = runTool("rvresults", {dir, "--json", "--html", dir + "/event.html"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const size_t split = run.out.find('\n');
    json practice = json::parse(run.out.substr(0, split));
    json race = json::parse(run.out.substr(split + 1));
    practice["events"].erase("laps");
    race["events"].erase("laps");
    EXPECT_EQ(practice, json::parse(R"({"file":"Test Server_Practice_07_12_00.txt",
        "session":"Practice","type":0,"typeName":"practice","standings":[
        {"position":1,"guid":"guid-a","name":"Ann","laps":1,"bestLap":"0:19:000","bestLapMs":19000,
         "qualifyLap":null,"qualifyLapMs":0,"raceTime":null,"raceTimeMs":19000,"gap":null},
        {"position":2,"guid":"guid-b","name":"Bob","laps":1,"bestLap":"0:21:000","bestLapMs":21000,
         "qualifyLap":null,"qualifyLapMs":0,"raceTime":null,"raceTimeMs":21000,"gap":"+0:02:000"}],
        "events":{"chat":[{"time":"0:10:000","guid":"guid-a","text":"hello, all"}],"joins":[
        {"time":"0:00:500","name":"Ann","raceNumber":"7","guid":"guid-a","nationality":"IT"},
        {"time":"0:00:700","name":"Bob","raceNumber":"7","guid":"guid-b","nationality":"IT"},
        {"time":"0:01:000","name":"Cid","raceNumber":"7","guid":"guid-c","nationality":"IT"}],
        "contacts":[],"infractions":[],"flags":[],"raceControl":[]}})"));
    EXPECT_EQ(race, json::parse(R"({"file":"Test Server_Race_07_12_00.txt","session":"Race",
        "type":2,"typeName":"race","standings":[
        {"position":1,"guid":"guid-a","name":"Ann","laps":2,"bestLap":"0:10:000","bestLapMs":10000,
         "qualifyLap":null,"qualifyLapMs":0,"raceTime":"0:22:000","raceTimeMs":22000,"gap":null},
        {"position":2,"guid":"guid-b","name":"Bob","laps":2,"bestLap":"0:11:000","bestLapMs":11000,
         "qualifyLap":null,"qualifyLapMs":0,"raceTime":"0:25:000","raceTimeMs":25000,
         "gap":"+0:03:000"}],
        "events":{"joins":[],"chat":[],"contacts":[],"infractions":[],"flags":[],
        "raceControl":[]}})"));
    EXPECT_TRUE(has(event.read("event.html"),
                    "<h2>Race (race)</h2>\n<table><tr><th>Pos</th><th>Driver</th><th>Laps</th><th>"
                    "Best lap</th><th>Race time</th><th>Gap</th></tr>\n<tr><td>1</td><td>Ann</td>"
                    "<td>2</td><td>0:10:000</td><td>0:22:000</td><td></td></tr>\n"));

    const std::string results = "server/sessions/Test Server_Race_07_12_00.txt";
    const std::string logFile = event.list("server/logs").at(0), logName = "server/logs/" + logFile;
    const std::string whole = event.read(results), log = event.read(logName);
    for (auto [file, text, error] :
         {std::tuple{
              results, whole.substr(0, whole.find("[CLIENT1]")),
              std::string("Test Server_Race_07_12_00.txt is cut off: 1 of 2 client sections")},
          {results, whole.substr(0, whole.find("RACELAPS=")) + "RACELAPS=two\n",
           "Test Server_Race_07_12_00.txt line 10: RACELAPS is not a number"},
          {logName, log + "1:23:456,LAP,cut",
           logFile + " is cut off in line " + std::to_string(countOf(log, "\n") + 1)},
          {logName, "hello\n", logFile + " line 1: not an event line: \"hello\""}}) {
        event.write(file, text);
        EXPECT_EQ(runTool("rvresults", {dir}).failure(), "1 rvresults: " + error + "\n");
        event.write(results, whole);
    }
}
