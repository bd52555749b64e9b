// rvleague: the league database. Imports what servers leave in their working folders and answers
// leaderboards, driver records and championship tables, on the command line and as pages.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/Cli.h"
#include "platform/Platform.h"
#include "rvleague/Import.h"
#include "rvleague/Pages.h"
#include "rvleague/Queries.h"
#include "transport/CTimer.h"

namespace {

constexpr char kProgram[] = "rvleague";

void print(const nlohmann::ordered_json& doc) {
    std::printf("%s\n", doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

void line(const std::string& text) {
    std::printf("%s\n", tool::printable(text).c_str());
}

std::string cut(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    return out + std::string(width - out.size(), ' ');
}

int importFolders(Repository& db, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        std::vector<ImportedEvent> events;
        std::string error;
        if (!readFolder(folder, {}, events, error))
            return tool::fail(kProgram, error);
        StoreCount total;
        for (const ImportedEvent& e : events) {
            const StoreCount c = storeEvent(db, e);
            total.events += c.events;
            total.sessions += c.sessions;
            total.laps += c.laps;
        }
        line(folder + ": " + std::to_string(total.events) + " new events, " +
             std::to_string(total.sessions) + " new sessions, " + std::to_string(total.laps) +
             " laps");
    }
    return tool::kOk;
}

int watchFolder(Repository& db, const std::string& folder, int intervalMs) {
    static volatile sig_atomic_t quit = 0, chord = 0;
    platform::installConsoleHandlers(&quit, &chord);
    ImportOptions options;
    options.running = true;
    while (!quit && !chord) {
        std::vector<ImportedEvent> events;
        std::string error;
        // A file caught half-written is read again next time; only the newest log is live.
        if (readFolder(folder, options, events, error)) {
            for (const ImportedEvent& e : events) {
                const StoreCount c = storeEvent(db, e);
                if (c.sessions > 0) {
                    line(e.logFile + ": " + std::to_string(c.sessions) + " new sessions, " +
                         std::to_string(c.laps) + " laps");
                    std::fflush(stdout);
                }
            }
        }
        for (int waited = 0; waited < intervalMs && !quit && !chord; waited += 100)
            platform::sleepMs(100);
    }
    return tool::kOk;
}

void leaderboardText(const nlohmann::ordered_json& b) {
    line(b["track"].get<std::string>() + " " + b["configuration"].get<std::string>() + ", " +
         b["car"].get<std::string>());
    for (const auto& e : b["entries"])
        line("  " + cut(std::to_string(e["position"].get<int>()), 4) +
             cut(e["name"].get<std::string>(), 24) + " " +
             cut(e["best_lap"].get<std::string>(), 11) + e["date"].get<std::string>() + "  " +
             e["server"].get<std::string>());
}

void driverText(const nlohmann::ordered_json& d) {
    line(d["name"].get<std::string>() + " (" + d["guid"].get<std::string>() + "), " +
         std::to_string(d["events"].get<int64_t>()) + " events, " +
         std::to_string(d["wins"].get<int64_t>()) + " wins");
    for (const auto& p : d["personal_bests"])
        line("  best " + cut(p["best_lap"].get<std::string>(), 11) + p["track"].get<std::string>() +
             " " + p["configuration"].get<std::string>() + ", " + p["car"].get<std::string>() +
             " (" + p["date"].get<std::string>() + ")");
    for (const auto& r : d["results"])
        line("  " + r["date"].get<std::string>() + "  " + cut(r["track"].get<std::string>(), 16) +
             cut(r["session"].get<std::string>(), 16) + " P" +
             std::to_string(r["position"].get<int64_t>()) + ", " +
             std::to_string(r["laps"].get<int64_t>()) + " laps");
}

void championshipText(const nlohmann::ordered_json& c) {
    line(c["name"].get<std::string>() + ", " + std::to_string(c["rounds"].get<size_t>()) +
         " rounds");
    for (const auto& s : c["standings"])
        line("  " + cut(std::to_string(s["position"].get<int>()), 4) +
             cut(s["name"].get<std::string>(), 24) + " " +
             cut(std::to_string(s["points"].get<int>()), 6) + " points, " +
             std::to_string(s["wins"].get<int>()) + " wins");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "rvleague: every event's results and laps in one database. Exit codes: 0 ok, 1 bad "
        "input or a database that cannot be used, 2 usage. A busy SQLite file is waited "
        "for at most 5 s.",
        kProgram};
    std::string url = "sqlite:league.db";
    app.add_option("--db", url, "sqlite:PATH or postgresql://...")->capture_default_str();
    app.require_subcommand(1);
    std::vector<std::string> folders;
    auto* import = app.add_subcommand("import", "store the events of server working folders");
    import->add_option("dir", folders, "server working folders")->required();
    std::string watched;
    int interval = 2;
    auto* watch = app.add_subcommand(
        "watch",
        "follow a running server and store each session once its results file is written "
        "(ends on SIGTERM or Ctrl+\\)");
    watch->add_option("dir", watched, "the server's working folder")->required();
    watch->add_option("--interval", interval, "seconds between looks")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();
    LeaderboardQuery board;
    bool json = false;
    auto* leaderboardCmd = app.add_subcommand("leaderboard", "each driver's best valid lap");
    leaderboardCmd->add_option("--track", board.track, "track")->required();
    leaderboardCmd->add_option("--configuration", board.configuration,
                               "track configuration (default: the latest event's)");
    leaderboardCmd->add_option("--car", board.car, "car (default: the latest event's)");
    leaderboardCmd->add_flag("--any-content", board.anyContent,
                             "also laps run on other content than the latest event's");
    std::string guid;
    auto* driver = app.add_subcommand("driver", "a driver's events, results, wins and bests");
    driver->add_option("guid", guid, "the driver's guid")->required();
    std::string rulesFile;
    auto* champ = app.add_subcommand("championship", "a championship table from an INI file");
    champ
        ->add_option("file", rulesFile,
                     "[CHAMPIONSHIP] NAME= POINTS= FASTESTLAP= DROPWORST= "
                     "TRACK= EVENTS= FROM= UNTIL=")
        ->required();
    for (auto* c : {leaderboardCmd, driver, champ})
        c->add_flag("--json", json, "print one JSON document");
    std::string htmlFolder;
    auto* exportCmd = app.add_subcommand("export", "write the league pages as static files");
    exportCmd->add_option("--html", htmlFolder, "the folder to write")->required();
    if (const int code = tool::parse(app, argc, argv); code >= 0)
        return code;

    try {
        ChampionshipRules rules;
        std::string rulesText;
        if (*champ) {
            std::ifstream in(rulesFile, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            rulesText = text.str();
            std::string error;
            if (!in)
                return tool::fail(kProgram, "cannot read " + rulesFile);
            if (!readChampionshipRules(rulesText, rules, error))
                return tool::fail(kProgram, rulesFile + ": " + error);
        }
        std::unique_ptr<Repository> db = openRepository(url);
        if (*import)
            return importFolders(*db, folders);
        if (*watch)
            return watchFolder(*db, watched, interval * 1000);
        if (*leaderboardCmd) {
            const auto doc = leaderboard(*db, board);
            json ? print(doc) : leaderboardText(doc);
        } else if (*driver) {
            const auto doc = driverRecord(*db, guid);
            if (doc.is_null())
                return tool::fail(kProgram, "no driver " + guid + " in the league");
            json ? print(doc) : driverText(doc);
        } else if (*champ) {
            keepChampionship(*db, rules.name, rulesText);
            const auto doc = championship(*db, rules);
            json ? print(doc) : championshipText(doc);
        } else if (*exportCmd) {
            int pages = 0;
            std::string error;
            if (!exportLeaguePages(*db, htmlFolder, pages, error))
                return tool::fail(kProgram, error);
            line(std::to_string(pages) + " pages written to " + htmlFolder);
        }
    } catch (const LeagueError& e) {
        return tool::fail(kProgram, e.what());
    }
    return tool::kOk;
}
