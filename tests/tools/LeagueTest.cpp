// rvleague on both engines: SQLite in a temp file and this binary's own PostgreSQL cluster.
#include <thread>

#include "rvleague/Import.h"
#include "rvleague/Pages.h"
#include "rvleague/Queries.h"
#include "tools/LeagueCluster.h"

namespace {

LeagueCluster& cluster() {
    static LeagueCluster c;
    return c;
}

// A fresh league on each engine.
std::vector<std::string> leagues(const TempFolder& folder) {
    EXPECT_TRUE(cluster().started) << cluster().why();
    return {"sqlite:" + folder.path() + "/league.db", cluster().freshDatabase()};
}

ToolRun league(const std::string& url, std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", url});
    return runTool("rvleague", args);
}

int64_t count(Repository& db, const std::string& table) {
    return db.query("SELECT COUNT(*) FROM " + table)[0].integer(0);
}

// A race of one event on `track`: drivers in finishing order, one lap each, the fastest lap's
// driver a second quicker than the rest.
ImportedEvent race(int day, const std::string& track, const std::vector<std::string>& order,
                   const std::string& fastest) {
    const std::string d = std::to_string(day);
    ImportedEvent e{"Cup Server",
                    track,
                    "short",
                    "gt1",
                    "1/2/3/4",
                    "2026-03-0" + d + " 20:00:00",
                    "/srv/cup",
                    "rvserverlog[03_0" + d + "_20_00].txt",
                    {},
                    {},
                    {}};
    ImportedSession s;
    s.name = "Race";
    s.type = 2;
    s.startedAt = s.endedAt = e.startedAt;
    for (size_t i = 0; i < order.size(); ++i) {
        e.drivers.push_back({order[i], order[i] == "d" ? "<script>x</script>" : order[i], "T"});
        s.results.push_back({{order[i], 60000, 0, 5, int32_t(300000 + i)}, "", true, 0, 0});
        s.laps.push_back(
            {order[i], 1, order[i] == fastest ? 59000 : 60000, 30000, true, int(i + 5)});
    }
    e.sessions.push_back(s);
    return e;
}

}  // namespace

// A real event: two rvbot drivers of known lap times race two laps with LOOP set, so the race's
// results file is rewritten on zeroed laps and the results come from the log.
TEST(League, RealEventImportsOnceOnBothEnginesAndWatchFollowsTheServer) {
    TempFolder work;
    ServerProcess server(eventConfig("SESSIONS=1\n" + session(0, 2, "Race", 1, 0, 2),
                                     {"PORT=%PORT%", "LOOP=1", "FRONTTIRE=", "REARTIRE="}));
    ASSERT_TRUE(server.started) << server.console();
    const std::string dir = server.folder.path();
    const pid_t watcher = launch(
        work.path(), {RV_TOOLS_DIR "/rvleague", "--db", "sqlite:" + work.path() + "/watched.db",
                      "watch", dir, "--interval", "1"});
    std::vector<pid_t> bots;
    for (const char* lap : {"5", "5.5"})
        bots.push_back(
            launch(work.path(),
                   {RV_TOOLS_DIR "/rvbot", "--port", std::to_string(server.port), "--lap-time", lap,
                    "--lap-spread", "0", "--chat-every", "0", "--rate", "10", "-d", "30"}));
    auto log = [&] {
        return server.folder.read("server/logs/" + server.folder.list("server/logs")[0]);
    };
    ASSERT_TRUE(within(25000, [&] {
        return log().find("SESSION", log().find("RACEEND")) != std::string::npos;
    })) << log();
    EXPECT_TRUE(within(5000, [&] {
        return has(work.read("console.txt"), "1 new sessions, 4 laps");
    })) << work.read("console.txt");
    stop(watcher);
    server.signal(SIGTERM, 3000);
    for (pid_t bot : bots)
        stop(bot);
    const std::string sessionsDir = dir + "/server/sessions/";
    // The race's real results are kept beside the race reset's rewrite on zeroed laps.
    std::string saves;
    for (const std::string& file : server.folder.list("server/sessions"))
        saves += server.folder.read("server/sessions/" + file);
    EXPECT_TRUE(has(saves, "RACELAPS=0\nRACETIME=10000\n")) << saves;
    EXPECT_TRUE(has(saves, "RACELAPS=2\n")) << saves;

    // rvresults reads through the same reader: the results match the league's.
    const std::string documents = runTool("rvresults", {dir, "--json"}).out;
    const json results = json::parse(documents.substr(0, documents.find('\n')));
    for (const std::string& url : leagues(work)) {
        ASSERT_EQ(league(url, {"import", dir}).out,
                  dir + ": 1 new events, 1 new sessions, 4 laps\n");
        EXPECT_EQ(league(url, {"import", dir}).out,
                  dir + ": 0 new events, 0 new sessions, 0 laps\n");
        const json board =
            json::parse(league(url, {"leaderboard", "--track", "testring", "--json"}).out);
        ASSERT_EQ(board["entries"].size(), 2u) << board;
        EXPECT_EQ(board["configuration"], "short");
        EXPECT_EQ(board["car"], "gt1");
        for (int i : {0, 1}) {
            const json& row = results["standings"][i];
            EXPECT_EQ(board["entries"][i]["guid"], row["guid"]);
            EXPECT_EQ(board["entries"][i]["best_lap_ms"], row["bestLapMs"]);
            EXPECT_EQ(board["entries"][i]["best_lap_ms"], 5000 + 500 * i);
            EXPECT_EQ(row["raceTimeMs"], 10000 + 1000 * i) << "kept by the zeroed file";
            EXPECT_EQ(row["laps"], 2);
        }
        const json winner =
            json::parse(league(url, {"driver", results["standings"][0]["guid"], "--json"}).out);
        EXPECT_EQ(winner["wins"], 1);
        EXPECT_EQ(winner["personal_bests"][0]["best_lap"], "0:05:000");
    }
    std::unique_ptr<Repository> watched = openRepository("sqlite:" + work.path() + "/watched.db");
    EXPECT_EQ(count(*watched, "laps"), 4);
}

// Three races on one track with known finishing orders (and a fourth elsewhere that the rules
// leave out): points with the fastest-lap bonus, each driver's worst round dropped, and a tie on
// points broken by wins, then second places, then third places.
TEST(League, ChampionshipCountsPointsDropsTheWorstRoundAndBreaksTies) {
    TempFolder work;
    work.write("cup.ini",
               "[CHAMPIONSHIP]\nNAME=Spring <Cup>\nPOINTS=10,6,4,3\nFASTESTLAP=1\n"
               "DROPWORST=1\nTRACK=testring\nFROM=2026-03-01\nUNTIL=2026-03-04\n");
    for (const std::string& url : leagues(work)) {
        {
            std::unique_ptr<Repository> db = openRepository(url);
            for (const ImportedEvent& e : {race(1, "testring", {"a", "b", "c", "d"}, "b"),
                                           race(2, "testring", {"b", "a", "d", "c"}, "a"),
                                           race(3, "testring", {"c", "d", "b", "a"}, "c"),
                                           race(4, "otherring", {"d", "c", "b", "a"}, "d")})
                EXPECT_EQ(storeEvent(*db, e).sessions, 1);
        }
        const ToolRun run = league(url, {"championship", work.path() + "/cup.ini", "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const json table = json::parse(run.out);
        EXPECT_EQ(table["name"], "Spring <Cup>");
        EXPECT_EQ(table["rounds"], 3);
        std::vector<std::tuple<std::string, int, int>> got;
        for (const json& s : table["standings"])
            got.emplace_back(s["guid"], s["points"], s["wins"]);
        EXPECT_EQ(got, (decltype(got){{"b", 17, 1}, {"a", 17, 1}, {"c", 15, 1}, {"d", 10, 0}}));
        const std::string text = league(url, {"championship", work.path() + "/cup.ini"}).out;
        EXPECT_EQ(text.substr(0, text.find('\n', 24) + 1),
                  "Spring <Cup>, 3 rounds\n"
                  "  1   b                        17     points, 1 wins\n");
        // The same table as a page: the kept rules name it, every client text is escaped.
        TempFolder site;
        const ToolRun exported = league(url, {"export", "--html", site.path()});
        ASSERT_EQ(exported.exitCode, 0) << exported.err;
        const std::string page = site.read("championship/Spring_20_3CCup_3E.html");
        EXPECT_TRUE(has(page, "<h1>Spring &lt;Cup&gt;</h1>")) << page;
        EXPECT_TRUE(has(page, "\">&lt;script&gt;x&lt;/script&gt;</a>")) << page;
        EXPECT_FALSE(has(page, "<script>"));
        EXPECT_EQ(json::parse(site.read("driver/d.json"))["name"], "<script>x</script>");
    }
}

// The live pages: the same rendering behind the operator's web server.
TEST(League, LiveRoutesServeTheLeaguePagesAsHtmlAndJson) {
    TempFolder work;
    std::unique_ptr<Repository> db = openRepository("sqlite:" + work.path() + "/league.db");
    storeEvent(*db, race(1, "testring", {"a", "d"}, "d"));
    httplib::Server server;
    addLeagueRoutes(server, *db);
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    httplib::Client client("127.0.0.1", port);
    const auto board = client.Get("/league/leaderboard/testring/short/gt1.json");
    const auto driver = client.Get("/league/driver/d.html");
    const auto missing = client.Get("/league/driver/nobody.html");
    const auto index = client.Get("/league/index.json");
    const auto top = client.Get("/league");
    server.stop();
    serving.join();
    ASSERT_TRUE(board && driver && missing && index && top);
    EXPECT_EQ(index->body,
              "{\"boards\":[{\"track\":\"testring\",\"configuration\":\"short\","
              "\"car\":\"gt1\"}],\"championships\":[]}");
    EXPECT_EQ(top->get_header_value("Location"), "/league/index.html");
    EXPECT_EQ(json::parse(board->body)["entries"][0]["best_lap"], "0:59:000");
    EXPECT_TRUE(has(driver->body, "<h1>&lt;script&gt;x&lt;/script&gt;</h1>")) << driver->body;
    EXPECT_EQ(missing->status, 404);
}

// Two importers on two hosts write one PostgreSQL league at once, in opposite orders.
TEST(League, TwoImportersAtOnceLoseNothingAndDuplicateNothing) {
    ASSERT_TRUE(cluster().started) << cluster().why();
    const std::string url = cluster().freshDatabase();
    std::vector<ImportedEvent> events;
    for (int day = 1; day <= 6; ++day)
        events.push_back(race(day, "testring", {"a", "b", "c"}, day % 2 ? "a" : "b"));
    openRepository(url);
    std::atomic<int> stored = 0;
    auto importer = [&](bool reversed) {
        std::unique_ptr<Repository> db = openRepository(url);
        for (size_t i = 0; i < events.size(); ++i)
            stored += storeEvent(*db, events[reversed ? events.size() - 1 - i : i]).events;
    };
    std::thread one(importer, false), two(importer, true);
    one.join();
    two.join();
    std::unique_ptr<Repository> db = openRepository(url);
    EXPECT_EQ(stored, 6);
    EXPECT_EQ(std::tuple(count(*db, "events"), count(*db, "sessions"), count(*db, "results"),
                         count(*db, "laps"), count(*db, "personal_bests")),
              std::tuple(6, 6, 18, 18, 3));
    EXPECT_EQ(db->query("SELECT lap_ms FROM personal_bests WHERE guid = 'b'")[0].integer(0), 59000);
}

// Cut-off and hand-edited files, a newer league, an unreachable server and a busy file: one line,
// exit 1, nothing stored.
TEST(League, BadInputIsRefusedInOneLineAndStoresNothing) {
    TempFolder work, event;
    const std::string url = "sqlite:" + work.path() + "/league.db", dir = event.path();
    event.write("cfg/rvservercfg.ini",
                eventConfig("SESSIONS=1\n" + session(0, 2, "Race", 1, 0, 2)));
    event.write("server/logs/rvserverlog[03_01_20_00].txt",
                "0:00:000,START,testring,short,gt1;\n0:00:000,SESSION,Race,2,1000,1,0,0,0,2,0\n"
                "0:05:000,LAP,g1,0:05:000,0:02:500,1\n0:06:000,LAP,g1,0:05:000,0:02:500");
    EXPECT_EQ(league(url, {"import", dir}).failure(),
              "1 rvleague: rvserverlog[03_01_20_00].txt is cut off in line 4\n");
    event.write("server/logs/rvserverlog[03_01_20_00].txt",
                "0:00:000,START,testring,short,gt1;\n0:00:000,SESSION,Race,2,1000,1,0,0,0,2,0\n"
                "0:05:000,LAP,g1,0:05:000,0:02:500,1\n");
    const std::string results = resultsFile("Race", 2, {"g1 5000 0 1 5000"});
    event.write("server/sessions/Test Server_Race_01_20_00.txt", results.substr(0, 55));
    EXPECT_EQ(
        league(url, {"import", dir}).failure(),
        "1 rvleague: Test Server_Race_01_20_00.txt is cut off: BESTLAP expected after line 7\n");
    event.write("server/sessions/Test Server_Race_01_20_00.txt", "[HEADER]\nNAME=Race\nTYPE=two\n");
    EXPECT_EQ(league(url, {"import", dir}).failure(),
              "1 rvleague: Test Server_Race_01_20_00.txt line 3: TYPE is not a number\n");
    std::unique_ptr<Repository> db = openRepository(url);
    EXPECT_EQ(count(*db, "events") + count(*db, "laps") + count(*db, "drivers"), 0);

    // A transaction that holds the file keeps the importer waiting, then out.
    event.write("server/sessions/Test Server_Race_01_20_00.txt", results);
    db->transaction([&] {
        db->query("INSERT INTO championships (name, rules) VALUES ('x', 'y')");
        EXPECT_EQ(league(url, {"import", dir}).failure(),
                  "1 rvleague: " + work.path() +
                      "/league.db is busy: another program kept it "
                      "locked for more than 5 s\n");
    });
    db->query("UPDATE schema_version SET version = 2");
    EXPECT_EQ(league(url, {"import", dir}).failure(),
              "1 rvleague: sqlite:" + work.path() +
                  "/league.db holds a league of schema version 2; "
                  "this rvleague knows up to version 1\n");
    EXPECT_EQ(count(*db, "events"), 0);
    EXPECT_EQ(league("postgresql://nobody@127.0.0.1:" + std::to_string(freePort()) + "/x",
                     {"import", dir})
                  .err.rfind("rvleague: cannot reach postgresql://nobody@127.0.0.1:", 0),
              0u);
}

// LOOP: the reset saves the race on zeroed laps (keeping its race times), then the session before
// it again on zeroed laps (with the later race's times). Both take their results from the log; the
// restarted race with no laps yet has none.
TEST(League, ZeroedRewritesTakeLapsFinishersAndOrderFromTheLog) {
    TempFolder f;
    f.write("log.txt",
            "0:00:000,SESSION,Sprint,2,1000,1,0,0,0,2,0\n"
            "0:05:000,LAP,a,0:05:000,0:02:500,1\n0:05:500,LAP,b,0:05:500,0:02:750,1\n"
            "0:10:000,RACEEND,a\n0:10:000,LAP,a,0:05:000,0:02:500,2\n"
            "0:11:000,LAP,b,0:05:500,0:02:750,2\n"
            "0:11:000,SESSION,Feature,2,1000,1,0,0,0,2,0\n"
            "0:15:000,LAP,b,0:04:000,0:02:000,3\n0:16:000,LAP,a,0:05:000,0:02:500,3\n"
            "0:19:000,LAP,b,0:04:000,0:02:000,4\n0:19:500,RACEEND,b\n"
            "0:21:000,SESSION,Feature,2,1000,1,0,0,0,2,0\n");
    const std::string zeroed = resultsFile("Feature", 2, {"b 0 0 0 20000", "a 0 0 0 21000"});
    f.write("feature.txt", zeroed);
    f.write("sprint.txt", "[HEADER]\nNAME=Sprint" + zeroed.substr(zeroed.find("\nTYPE")));
    std::vector<LogEvent> log;
    std::vector<ResultsFile> files(2);
    std::string error;
    ASSERT_TRUE(readEventLog(f.path() + "/log.txt", log, error) &&
                readResultsFile(f.path() + "/feature.txt", files[0], error) &&
                readResultsFile(f.path() + "/sprint.txt", files[1], error))
        << error;
    const std::vector<LoggedSession> logged = loggedSessions(log);
    std::vector<std::string> got;
    for (const SessionOutcome& o : sessionOutcomes(files, logged)) {
        std::string text = o.logged->name + (o.fromLog ? " from the log:" : ":");
        for (const ResultLine& r : o.standings)
            text += " " + r.guid + " " + std::to_string(r.laps) + " " + std::to_string(r.bestLap) +
                    " " + std::to_string(r.raceTime) + (o.finishers.count(r.guid) ? " in," : ",");
        got.push_back(text);
    }
    EXPECT_EQ(got, (std::vector<std::string>{
                       "Sprint from the log: a 2 5000 10000 in, b 2 5500 11000 in,",
                       "Feature from the log: b 2 4000 20000 in, a 1 5000 21000,"}));
}

// A lap after an infraction is kept but not valid; names with commas, kicks and bans come in from
// the log as they are.
TEST(League, InfractionLapsAreKeptButNotValidAndIncidentsAreStored) {
    TempFolder work, event;
    event.write("cfg/rvservercfg.ini",
                eventConfig("SESSIONS=1\n" + session(0, 0, "Practice", 1, 10)));
    event.write("server/logs/rvserverlog[03_01_20_00].txt",
                "0:00:000,START,testring,short,gt1;gt2;\n"
                "0:00:000,SESSION,Practice,0,1000,1,0,0,0,0,600000\n"
                "0:01:000,JOIN,Ann, the fast,7,Red,gt1,g1,IT\n0:01:000,JOIN,Bob,8,Blue,gt1,g2,FR\n"
                "0:02:000,BANNED,g3,10.0.0.9:5000,banned\n0:03:000,PITSPEEDINFRACTION,g1\n"
                "1:00:000,LAP,g1,0:50:000,0:25:000,1\n1:55:000,LAP,g1,0:55:000,0:27:000,2\n"
                "1:56:000,LAP,g2,0:56:000,0:28:000,1\n1:57:000,KICK,g2,127.0.0.1:5000,boss,rude, "
                "very\n1:58:000,BAN,10.0.0.0/8,boss,60,spam\n1:59:000,UNBAN,10.0.0.0/8,boss\n");
    event.write("server/sessions/Test Server_Practice_01_20_02.txt",
                resultsFile("Practice", 0, {"g1 50000 0 2 115000", "g2 56000 0 1 56000"}));
    const std::string url = "sqlite:" + work.path() + "/league.db";
    ASSERT_EQ(league(url, {"import", event.path()}).exitCode, 0);
    EXPECT_EQ(league(url, {"leaderboard", "--track", "testring"}).out,
              "testring short, gt1\n"
              "  1   Ann, the fast            0:55:000   2026-03-01  Test Server\n"
              "  2   Bob                      0:56:000   2026-03-01  Test Server\n");
    EXPECT_EQ(league(url, {"driver", "g1"}).out,
              "Ann, the fast (g1), 1 events, 0 wins\n"
              "  best 0:55:000   testring short, gt1 (2026-03-01)\n"
              "  2026-03-01  testring        Practice         P1, 2 laps\n");
    EXPECT_EQ(league(url, {"driver", "g9"}).failure(), "1 rvleague: no driver g9 in the league\n");
    std::unique_ptr<Repository> db = openRepository(url);
    std::vector<std::string> rows;
    for (const char* sql :
         {"SELECT guid, lap_ms, valid FROM laps ORDER BY log_line",
          "SELECT guid, position, best_lap_ms, infractions, gap FROM results ORDER BY position",
          "SELECT kind, subject, address, admin, minutes, reason FROM incidents ORDER BY log_line",
          "SELECT guid, name, team FROM drivers ORDER BY guid"}) {
        std::string text;
        for (const SqlRow& row : db->query(sql))
            for (size_t i = 0; i < row.cells.size(); ++i)
                text += row.text(i) + (i + 1 < row.cells.size() ? "|" : "\n");
        rows.push_back(text);
    }
    EXPECT_EQ(rows,
              (std::vector<std::string>{
                  "g1|50000|0\ng1|55000|1\ng2|56000|1\n", "g1|1|50000|1|\ng2|2|56000|0|+0:06:000\n",
                  "BANNED|g3|10.0.0.9:5000|||banned\nKICK|g2|127.0.0.1:5000|boss||rude, "
                  "very\nBAN|10.0.0.0/8||boss|60|spam\nUNBAN|10.0.0.0/8||boss||\n",
                  "g1|Ann, the fast|Red\ng2|Bob|Blue\n"}));
}

// A board counts the content of the track's latest event unless any content is asked for; each
// driver appears once, with the event and date of his best.
TEST(League, LeaderboardKeepsToTheLatestContentUnlessAnyIsAskedFor) {
    TempFolder work;
    for (const std::string& url : leagues(work)) {
        {
            std::unique_ptr<Repository> db = openRepository(url);
            ImportedEvent changed = race(2, "testring", {"b", "a", "c"}, "b");
            changed.fingerprint = "9/9/9/9";
            for (const ImportedEvent& e : {race(1, "testring", {"a", "b"}, "a"), changed})
                storeEvent(*db, e);
        }
        auto board = [&](std::vector<std::string> more) {
            more.insert(more.begin(), {"leaderboard", "--track", "testring", "--json"});
            std::string text;
            const json doc = json::parse(league(url, more).out);
            for (const json& e : doc["entries"])
                text += e["guid"].get<std::string>() + " " + e["best_lap"].get<std::string>() +
                        " " + e["date"].get<std::string>() + ", ";
            return text;
        };
        EXPECT_EQ(board({}),
                  "b 0:59:000 2026-03-02, a 1:00:000 2026-03-02, c 1:00:000 2026-03-02, ");
        EXPECT_EQ(board({"--any-content"}),
                  "a 0:59:000 2026-03-01, b 0:59:000 2026-03-02, c 1:00:000 2026-03-02, ");
        EXPECT_EQ(board({"--car", "gt9"}), "");
    }
}
