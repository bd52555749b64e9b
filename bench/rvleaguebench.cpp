// rvleaguebench: a generated league (events x 3 sessions x 20 drivers x 30 laps) stored through
// the league's own import, then the leaderboard, a driver page and a championship over all of it,
// on every database named. Reports the import rate and each query's p50, p99 and max.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/Process.h"
#include "rvleague/Import.h"
#include "rvleague/Queries.h"

namespace {

constexpr int kSessions = 3, kDriversPerEvent = 20, kLapsPerDriver = 30, kDriverPool = 200;

ImportedEvent generated(int n, std::mt19937& random) {
    char started[32];
    std::snprintf(started, sizeof started, "2026-%02d-%02d %02d:%02d:00", 1 + n / 600 % 12,
                  1 + n / 24 % 25, n % 24, n % 60);
    ImportedEvent e{"Bench Server",
                    "benchring",
                    "full",
                    "gt1",
                    "1/2/3/4",
                    started,
                    "/srv/bench",
                    "rvserverlog[bench_" + std::to_string(n) + "].txt",
                    {},
                    {},
                    {}};
    std::uniform_int_distribution<int> lap(87000, 93000), chance(0, 99);
    for (int i = 0; i < kDriversPerEvent; ++i) {
        const std::string guid = "driver-" + std::to_string((n * 7 + i * 11) % kDriverPool);
        e.drivers.push_back({guid, "Driver " + guid.substr(7), "Team"});
    }
    for (int s = 0; s < kSessions; ++s) {
        ImportedSession session;
        session.ordinal = s;
        session.name = s == 0 ? "Practice" : s == 1 ? "Qualifying" : "Race";
        session.type = s;
        session.startedAt = session.endedAt = started;
        int line = 0;
        for (const ImportedDriver& d : e.drivers) {
            ImportedResult r;
            r.line = {d.guid, 0, 0, kLapsPerDriver, 0};
            r.finished = true;
            for (int l = 1; l <= kLapsPerDriver; ++l) {
                const int32_t ms = lap(random);
                const bool valid = chance(random) >= 5;
                session.laps.push_back({d.guid, l, ms, ms / 2, valid, ++line});
                r.line.raceTime += ms;
                if (r.line.bestLap == 0 || ms < r.line.bestLap)
                    r.line.bestLap = ms;
            }
            session.results.push_back(r);
        }
        std::sort(session.results.begin(), session.results.end(),
                  [](const ImportedResult& a, const ImportedResult& b) {
                      return a.line.raceTime < b.line.raceTime;
                  });
        e.sessions.push_back(std::move(session));
    }
    return e;
}

struct Timing {
    std::vector<double> ms;
    std::string line(const std::string& what) {
        std::sort(ms.begin(), ms.end());
        char text[160];
        std::snprintf(text, sizeof text, "  %-26s p50 %8.2f ms  p99 %8.2f ms  max %8.2f ms\n",
                      what.c_str(), ms[ms.size() / 2],
                      ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.back());
        return text;
    }
};

template <class F>
double timed(F&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

std::string measure(const std::string& url, int events, int queries) {
    std::unique_ptr<Repository> db = openRepository(url);
    std::mt19937 random(7);
    Timing import, board, driver, table;
    for (int n = 0; n < events; ++n) {
        const ImportedEvent e = generated(n, random);
        import.ms.push_back(timed([&] { storeEvent(*db, e);
    }));
}
double total = 0;
for (double ms : import.ms)
    total += ms;
ChampionshipRules rules;
std::string error;
readChampionshipRules(
    "[CHAMPIONSHIP]\nNAME=Bench\nPOINTS=25,18,15,12,10,8,6,4,2,1\n"
    "FASTESTLAP=1\nDROPWORST=2\nTRACK=benchring\n",
    rules, error);
for (int q = 0; q < queries; ++q) {
    board.ms.push_back(timed([&] { leaderboard(*db, {"benchring", "", "", false}); }));
    driver.ms.push_back(
        timed([&] { driverRecord(*db, "driver-" + std::to_string(q % kDriverPool)); }));
    if (q % 4 == 0)
        table.ms.push_back(timed([&] { championship(*db, rules); }));
}
const int64_t laps = db->query("SELECT COUNT(*) FROM laps")[0].integer(0);
int64_t bytes = 0;
if (url.rfind("sqlite:", 0) == 0)
    bytes = int64_t(std::filesystem::file_size(url.substr(7)));
else
    bytes = db->query("SELECT pg_database_size(current_database())")[0].integer(0);
char head[400];
std::snprintf(head, sizeof head,
              "%s\n  %d events, %lld laps: import %.1f events/s, %.2f bytes per lap\n",
              db->describe().c_str(), events, (long long)laps, events * 1000.0 / total,
              double(bytes) / double(std::max<int64_t>(laps, 1)));
return head + import.line("import of one event") + board.line("leaderboard") +
       driver.line("driver page") + table.line("championship (all rounds)");
}  // namespace

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"rvleaguebench: a generated league stored and queried on each database given"};
    std::vector<std::string> urls;
    int events = 100, queries = 200;
    std::string out;
    app.add_option("--db", urls, "an empty league: sqlite:PATH or postgresql://...")->required();
    app.add_option("--events", events, "events generated (1000 is the full 1.8 million laps)")
        ->capture_default_str();
    app.add_option("--queries", queries, "times each query is run")->capture_default_str();
    app.add_option("--out", out, "also write the report to this file");
    CLI11_PARSE(app, argc, argv);
    std::string report =
        "League benchmark: " + std::to_string(events) + " events x " + std::to_string(kSessions) +
        " sessions x " + std::to_string(kDriversPerEvent) + " drivers x " +
        std::to_string(kLapsPerDriver) + " laps\nMachine: " + machineDescription() + "\n";
    try {
        for (const std::string& url : urls)
            report += measure(url, events, queries);
    } catch (const LeagueError& e) {
        std::fprintf(stderr, "rvleaguebench: %s\n", e.what());
        return 1;
    }
    std::fputs(report.c_str(), stdout);
    if (!out.empty())
        std::ofstream(out) << report;
    return 0;
}
