// rvresults on the files of a short event run by an in-process server, and on damaged files.
#include <nlohmann/json.hpp>

#include "support/RaceFixture.h"
#include "tools/ToolRunner.h"

using nlohmann::json;

namespace {

class ResultsExport : public RaceFixture {
  protected:
    // Admits a driver the way a simulator is admitted, so the log has its JOIN line.
    CRVClientConnection* join(const std::string& name) {
        peers.push_back(std::make_unique<TestClient>(harness->port()));
        peers.back()->sendRaw(connectRequest({.guid = "guid-" + name, .userName = name}));
        StdoutCapture quiet;
        harness->receiveTurn();
        return server().clients.back();
    }
};

}  // namespace

TEST_F(ResultsExport, ShortEventBecomesOneDocumentPerSessionAndAPage) {
    start(eventConfig(
        "SESSIONS=2\n" + session(0, 0, "Practice", 0, 1) + session(1, 2, "Race", 10, 0, 2),
        {"FRONTTIRE=", "REARTIRE="}));
    harness->folder.makeFolder("server/sessions");
    CRVClientConnection* al = join("Al");
    CRVClientConnection* bo = join("Bo");
    at(1000);
    lap(al, 1, 90000, 90000);
    lap(bo, 1, 88000, 88000);
    deliver(bo, chat("go, go"));
    at(70001);
    const int64_t r = 80001;
    at(r);
    lap(al, 1, 100000, 100000);
    lap(bo, 1, 101000, 101000);
    lap(al, 2, 100000, 200000);
    lap(bo, 2, 100500, 201500);
    at(r + 1);
    server().flushOutput();

    const std::string dir = harness->folder.path();
    ToolRun run = runTool("rvresults", {dir, "--json", "--html", dir + "/event.html"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const size_t split = run.out.find('\n');
    json practice = json::parse(run.out.substr(0, split));
    json race = json::parse(run.out.substr(split + 1));
    EXPECT_EQ(practice["standings"][1], json::parse(R"({"position":2,"guid":"guid-Al","name":"Al",
        "laps":1,"bestLap":"1:30:000","bestLapMs":90000,"qualifyLap":null,"qualifyLapMs":0,
        "raceTime":null,"raceTimeMs":90000,"gap":"+0:02:000"})"));
    EXPECT_EQ(practice["events"]["joins"], json::parse(R"([
        {"time":"0:00:000","name":"Al","raceNumber":"7","guid":"guid-Al","nationality":"IT"},
        {"time":"0:00:000","name":"Bo","raceNumber":"7","guid":"guid-Bo","nationality":"IT"}])"));
    EXPECT_EQ(practice["events"]["chat"],
              json::parse(R"([{"time":"0:01:000","guid":"guid-Bo","text":"go, go"}])"));
    race["events"].erase("laps");
    EXPECT_EQ(race, json::parse(R"({"file":"Test Server_Race_07_12_00.txt","session":"Race",
        "type":2,"typeName":"race","standings":[
        {"position":1,"guid":"guid-Al","name":"Al","laps":2,"bestLap":"1:40:000","bestLapMs":100000,
         "qualifyLap":null,"qualifyLapMs":0,"raceTime":"3:20:000","raceTimeMs":200000,"gap":null},
        {"position":2,"guid":"guid-Bo","name":"Bo","laps":2,"bestLap":"1:40:500","bestLapMs":100500,
         "qualifyLap":null,"qualifyLapMs":0,"raceTime":"3:21:500","raceTimeMs":201500,
         "gap":"+0:01:500"}],
        "events":{"joins":[],"chat":[],"contacts":[],"infractions":[],"flags":[]}})"));
    const std::string page = harness->folder.read("event.html");
    EXPECT_NE(page.find("<h2>Race (race)</h2>\n<table><tr><th>Pos</th><th>Driver</th><th>Laps"
                        "</th><th>Best lap</th><th>Race time</th><th>Gap</th></tr>\n<tr><td>1"
                        "</td><td>Al</td><td>2</td><td>1:40:000</td><td>3:20:000</td><td></td>"
                        "</tr>\n"),
              std::string::npos)
        << page;

    // Damaged files are refused with the place of the damage.
    const std::string results = "server/sessions/Test Server_Race_07_12_00.txt";
    const std::string whole = harness->folder.read(results);
    harness->folder.write(results, whole.substr(0, whole.find("[CLIENT1]")));
    EXPECT_EQ(runTool("rvresults", {dir}).err,
              "rvresults: Test Server_Race_07_12_00.txt is cut off: 1 of 2 client sections\n");
    harness->folder.write(results, whole.substr(0, whole.find("RACELAPS=")) + "RACELAPS=two\n");
    EXPECT_EQ(runTool("rvresults", {dir}).err,
              "rvresults: Test Server_Race_07_12_00.txt line 10: RACELAPS is not a number\n");
    harness->folder.write(results, whole);
    const std::string logName = server().logger.fileName();
    harness->folder.write(logName, harness->folder.read(logName) + "1:23:456,LAP,cut");
    ToolRun cut = runTool("rvresults", {dir});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_NE(cut.err.find(" is cut off in line "), std::string::npos) << cut.err;
    harness->folder.write(logName, "hello\n");
    EXPECT_NE(runTool("rvresults", {dir}).err.find(" line 1: not an event line: \"hello\"\n"),
              std::string::npos);
}
