// A server's working folder as league events: one per event log, its sessions matched with the
// results files written while that log was open.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>

#include "content/ContentChecksums.h"
#include "runtime/ServerConfig.h"
#include "runtime/ZTINIReader.h"
#include "rvleague/Import.h"

namespace fs = std::filesystem;

namespace {

// Race control keeps no lap beyond this count for a best lap.
constexpr int kValidLapLimit = ServerConfig::kMaxValidLaps;

std::time_t modified(const fs::path& path) {
    std::error_code ec;
    const auto t = fs::last_write_time(path, ec);
    return std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(t));
}

// The local time the log was opened, from its name "rvserverlog[MM_DD_HH_MM].txt"; the name has no
// year, so it is the year the file was last written (or the one before, for a December log
// written in January). -1 when the name is not the server's.
std::time_t openedAt(const fs::path& log) {
    int month = 0, day = 0, hour = 0, minute = 0;
    char tail = 0;
    if (std::sscanf(log.filename().c_str(), "rvserverlog[%2d_%2d_%2d_%2d]%c", &month, &day, &hour,
                    &minute, &tail) != 5 ||
        tail != '.')
        return -1;
    const std::time_t written = modified(log);
    std::tm local{};
    localtime_r(&written, &local);
    std::tm t{};
    t.tm_year = local.tm_year - (month - 1 > local.tm_mon ? 1 : 0);
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::string dateText(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string joined(const std::vector<std::string>& f, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to && i < f.size(); ++i)
        out += (i > from ? "," : "") + f[i];
    return out;
}

std::string fingerprint(const ServerConfig& config, const std::string& folder) {
    std::map<std::string, int32_t> sums;
    for (const ChecksumSource& s : checksumSources(firstCarName(config.car), config.track,
                                                   config.configuration, config.frontTyre))
        sums[s.value] += checksumFile(folder + "/" + s.path);
    return std::to_string(sums["rvs"]) + "/" + std::to_string(sums["track"]) + "/" +
           std::to_string(sums["car"]) + "/" + std::to_string(sums["tyres"]);
}

bool isInfraction(const std::string& kind) {
    return kind == "JUMPSTART" || kind == "PITSPEEDINFRACTION" || kind == "CARILLEGAL" ||
           kind == "TRACKILLEGAL" || kind == "RVSILLEGAL";
}

bool isIllegalContent(const std::string& kind) {
    return kind == "CARILLEGAL" || kind == "TRACKILLEGAL" || kind == "RVSILLEGAL";
}

// The laps of one session. A lap is kept but not valid when race control refused it (a lap time
// of nothing, beyond the session's MAXLAPS or the valid-lap limit), when the driver committed an
// infraction since his previous lap, or when his content was found illegal in this event.
std::vector<ImportedLap> lapsOf(const LoggedSession& s, std::map<std::string, bool>& illegal,
                                std::map<std::string, int>& infractions,
                                std::map<std::string, int>& refused) {
    std::vector<ImportedLap> laps;
    std::map<std::string, int> counted;
    std::map<std::string, bool> tainted;
    for (const LogEvent* e : s.events) {
        if (isInfraction(e->kind)) {
            tainted[e->fields[0]] = true;
            ++infractions[e->fields[0]];
            if (isIllegalContent(e->kind))
                illegal[e->fields[0]] = true;
        }
        if (e->kind != "LAP")
            continue;
        ImportedLap lap;
        lap.guid = e->fields[0];
        lap.lapMs = int32_t(serverTimeMs(e->fields[1]));
        lap.splitMs = int32_t(serverTimeMs(e->fields[2]));
        lap.lapNumber = std::atoi(e->fields[3].c_str());
        lap.logLine = e->lineNumber;
        const int n = ++counted[lap.guid];
        const bool isRefused =
            lap.lapMs <= 0 || n > kValidLapLimit || (s.maxLaps > 0 && n > s.maxLaps);
        if (isRefused)
            ++refused[lap.guid];
        lap.valid = !isRefused && !tainted[lap.guid] && !illegal[lap.guid];
        tainted[lap.guid] = false;
        laps.push_back(lap);
    }
    return laps;
}

ImportedIncident incidentOf(const LogEvent& e) {
    // KICK,guid,address,admin,reason  BAN,subject,admin,minutes,reason  UNBAN,subject,admin
    // BANNED,guid,address,reason; a reason may hold commas.
    const auto& f = e.fields;
    ImportedIncident i;
    i.logLine = e.lineNumber;
    i.atMs = serverTimeMs(e.time);
    i.kind = e.kind;
    i.subject = f[0];
    if (e.kind == "KICK") {
        i.address = f[1];
        i.admin = f[2];
        i.reason = joined(f, 3, f.size());
    } else if (e.kind == "BAN") {
        i.admin = f[1];
        i.minutes = std::atoi(f[2].c_str());
        i.reason = joined(f, 3, f.size());
    } else if (e.kind == "UNBAN") {
        i.admin = f[1];
    } else {
        i.address = f[1];
        i.reason = joined(f, 2, f.size());
    }
    return i;
}

struct SessionsFile {
    ResultsFile results;
    std::time_t written = 0;
};

bool readEvent(const fs::path& log, std::time_t opened, const std::vector<SessionsFile>& files,
               const ServerConfig& config, const std::string& folder, const ImportOptions& options,
               ImportedEvent& ev, std::string& error) {
    std::vector<LogEvent> lines;
    if (!readEventLog(log.string(), lines, error, options.running))
        return false;
    ev.serverName = config.name;
    ev.track = config.track;
    ev.configuration = config.configuration;
    ev.car = firstCarName(config.car);
    for (const LogEvent& e : lines)
        if (e.kind == "START") {
            ev.track = e.fields[0];
            ev.configuration = e.fields[1];
            ev.car = firstCarName(joined(e.fields, 2, e.fields.size()));
            break;
        }
    ev.fingerprint = fingerprint(config, folder);
    ev.startedAt = dateText(opened);
    ev.folder = fs::absolute(folder).lexically_normal().string();
    ev.logFile = log.filename().string();

    std::map<std::string, ImportedDriver> drivers;
    for (const LogEvent& e : lines) {
        const auto& f = e.fields;
        if (e.kind == "JOIN") {
            // name, race number, team, model, guid, nationality: a name with commas is
            // rejoined, the team is taken as one field.
            const size_t n = f.size();
            drivers[f[n - 2]] = {f[n - 2], joined(f, 0, n - 5), f[n - 4]};
        } else if (e.kind == "KICK" || e.kind == "BAN" || e.kind == "UNBAN" || e.kind == "BANNED") {
            ev.incidents.push_back(incidentOf(e));
        }
    }

    std::vector<ResultsFile> results;
    std::map<std::string, std::time_t> writtenAt;
    for (const SessionsFile& f : files) {
        results.push_back(f.results);
        writtenAt[f.results.file] = f.written;
    }
    const std::vector<LoggedSession> logged = loggedSessions(lines);
    std::map<std::string, bool> illegal;
    const std::time_t now = std::time(nullptr);
    for (const SessionOutcome& o : sessionOutcomes(results, logged)) {
        if (o.logged == nullptr)
            continue;  // a file this log does not know
        const LoggedSession& s = *o.logged;
        if (options.running && !s.ended &&
            (o.file == nullptr || now - writtenAt[o.file->file] < options.settleSeconds))
            continue;
        ImportedSession is;
        is.ordinal = int(&s - logged.data());
        is.name = s.name;
        is.type = s.type;
        is.raceLaps = s.raceLaps;
        is.sessionMs = s.sessionMs;
        int64_t startMs = serverTimeMs(s.opening->time), endMs = startMs;
        for (const LogEvent* e : s.events) {
            if (e->kind == "SESSION_START")
                startMs = serverTimeMs(e->time);
            endMs = serverTimeMs(e->time);
        }
        if (s.ended)
            endMs = serverTimeMs(((s.events.empty() ? s.opening : s.events.back()) + 1)->time);
        is.startedAt = dateText(opened + std::time_t(startMs / 1000));
        is.endedAt = dateText(opened + std::time_t(endMs / 1000));
        is.resultsFile = o.file ? o.file->file : "";
        is.fromLog = o.fromLog;
        std::map<std::string, int> infractions, refused;
        is.laps = lapsOf(s, illegal, infractions, refused);
        for (const ResultLine& r : o.standings) {
            ImportedResult row;
            row.line = r;
            row.gap = gapText(o.standings.front(), r, o.type);
            row.finished = o.type == 2 ? o.finishers.count(r.guid) > 0 : r.laps > 0;
            row.infractions = infractions[r.guid];
            row.penalties = refused[r.guid];
            is.results.push_back(row);
        }
        // A looped race that restarted with nobody left to run it holds nothing worth keeping.
        if (is.results.empty() && is.laps.empty())
            continue;
        for (const ImportedResult& r : is.results)
            drivers.try_emplace(r.line.guid, ImportedDriver{r.line.guid, r.line.guid, ""});
        for (const ImportedLap& l : is.laps)
            drivers.try_emplace(l.guid, ImportedDriver{l.guid, l.guid, ""});
        ev.sessions.push_back(std::move(is));
    }
    for (auto& [guid, d] : drivers)
        ev.drivers.push_back(d);
    return true;
}

}  // namespace

bool readFolder(const std::string& folder, const ImportOptions& options,
                std::vector<ImportedEvent>& out, std::string& error) {
    ZTINIReader ini;
    ServerConfig config;
    std::vector<SessionRecord> configured;
    if (loadConfigurationFile(ini, "", folder + "/").empty()) {
        error = "no configuration: " + folder + "/cfg/rvservercfg.ini is missing";
        return false;
    }
    readServerConfiguration(ini, config, configured);

    std::vector<std::pair<std::time_t, fs::path>> logs;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::path(folder) / "server" / "logs", ec)) {
        const std::time_t opened = openedAt(e.path());
        if (opened != -1 && e.path().extension() == ".txt")
            logs.emplace_back(opened, e.path());
    }
    std::sort(logs.begin(), logs.end());
    std::vector<SessionsFile> files;
    for (const auto& e : fs::directory_iterator(fs::path(folder) / "server" / "sessions", ec)) {
        if (e.path().extension() != ".txt" || !e.is_regular_file())
            continue;
        SessionsFile f;
        f.written = modified(e.path());
        if (!readResultsFile(e.path().string(), f.results, error))
            return false;
        files.push_back(f);
    }
    // Written at each session's end, so their times give the event's order.
    std::sort(files.begin(), files.end(), [](const SessionsFile& a, const SessionsFile& b) {
        return a.written != b.written ? a.written < b.written : a.results.file < b.results.file;
    });
    for (size_t i = 0; i < logs.size(); ++i) {
        // A log's files: those written from its opening minute until the next log opened.
        std::vector<SessionsFile> mine;
        for (const SessionsFile& f : files)
            if (f.written >= logs[i].first &&
                (i + 1 == logs.size() || f.written < logs[i + 1].first))
                mine.push_back(f);
        ImportedEvent ev;
        const bool newest = i + 1 == logs.size();
        ImportOptions o = options;
        o.running = options.running && newest;
        if (!readEvent(logs[i].second, logs[i].first, mine, config, folder, o, ev, error))
            return false;
        out.push_back(std::move(ev));
    }
    return true;
}
