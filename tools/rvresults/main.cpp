// rvresults: turns a working directory's results files and event log into JSON documents and a
// static HTML page.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/Cli.h"
#include "rvresults/Export.h"

namespace fs = std::filesystem;

namespace {

constexpr char kProgram[] = "rvresults";

std::string readableBlock(const nlohmann::ordered_json& s) {
    std::string out =
        s["session"].get<std::string>() + " (" + s["typeName"].get<std::string>() + ")\n";
    for (const auto& r : s["standings"]) {
        const auto& lap = s["type"] == 1 ? r["qualifyLap"] : r["bestLap"];
        char line[256];
        std::snprintf(line, sizeof line, "  %2d  %-24s %3d laps  best %-10s %s\n",
                      r["position"].get<int>(),
                      (r["name"].is_null() ? r["guid"] : r["name"]).get<std::string>().c_str(),
                      r["laps"].get<int>(), lap.is_null() ? "-" : lap.get<std::string>().c_str(),
                      r["gap"].is_null() ? "" : r["gap"].get<std::string>().c_str());
        out += tool::printable(std::string(line, std::strlen(line) - 1)) + "\n";
    }
    for (const auto& e : s["events"]["raceControl"])
        out += "  " + tool::printable(raceControlText(e)) + "\n";
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Reads the results files (server/sessions/) and the event log (server/logs/, the newest "
        "unless --log) of a server working directory and prints one document per session.\n"
        "Exit codes: 0 ok, 1 unreadable, cut-off or hand-edited files, 2 usage. No network use.",
        kProgram};
    std::string dir = ".";
    std::string logFile;
    std::string htmlFile;
    bool json = false;
    app.add_option("dir", dir, "the server's working directory (default: the current one)");
    app.add_option("--log", logFile, "the event log to use");
    app.add_option("--html", htmlFile, "also write the event's page to this file");
    app.add_flag("--json", json, "print one JSON document per session, one per line");
    if (int code = tool::parse(app, argc, argv); code >= 0)
        return code;

    const fs::path sessionsDir = fs::path(dir) / "server" / "sessions";
    std::vector<fs::directory_entry> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(sessionsDir, ec))
        if (e.path().extension() == ".txt" && e.is_regular_file())
            files.push_back(e);
    if (ec)
        return tool::fail(kProgram, "cannot read " + sessionsDir.string() + ": " + ec.message());
    if (files.empty())
        return tool::fail(kProgram, "no results files in " + sessionsDir.string());
    // Written at each session's end, so their times give the event's order.
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return a.last_write_time() != b.last_write_time()
                   ? a.last_write_time() < b.last_write_time()
                   : a.path() < b.path();
    });
    std::vector<ResultsFile> results;
    std::string error;
    for (const auto& f : files) {
        ResultsFile r;
        if (!readResultsFile(f.path().string(), r, error))
            return tool::fail(kProgram, error);
        results.push_back(r);
    }
    if (logFile.empty())
        logFile = newestEventLog((fs::path(dir) / "server" / "logs").string());
    std::vector<LogEvent> log;
    if (!logFile.empty() && !readEventLog(logFile, log, error))
        return tool::fail(kProgram, error);

    const std::vector<nlohmann::ordered_json> docs = sessionDocuments(results, log);
    if (!htmlFile.empty()) {
        std::string title = "Results";
        for (const LogEvent& e : log)
            if (e.kind == "START")
                title = "Results: " + e.fields[0] + " " + e.fields[1];
        std::ofstream out(htmlFile, std::ios::binary);
        out << htmlPage(title, docs);
        if (!out.flush())
            return tool::fail(kProgram, "cannot write " + htmlFile);
    }
    for (const auto& d : docs) {
        if (json)
            std::printf("%s\n",
                        d.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        else
            std::printf("%s", readableBlock(d).c_str());
    }
    return tool::kOk;
}
