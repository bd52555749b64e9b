#include "common/EventFiles.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "transport/CTimer.h"

namespace fs = std::filesystem;

namespace {

bool readWhole(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool number(const std::string& text, int32_t& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Minimum field counts after the kind; texts that may hold commas come last.
const std::map<std::string, size_t> kEventFields = {
    {"START", 3},        {"SESSION", 9},      {"SESSION_START", 0}, {"RACE_START", 0},
    {"JOIN", 6},         {"LAP", 4},          {"CHAT", 2},          {"JUMPSTART", 1},
    {"DISCONNECTED", 1}, {"CONTACT", 5},      {"CONTACTWALL", 1},   {"PITSPEEDINFRACTION", 1},
    {"CARILLEGAL", 1},   {"TRACKILLEGAL", 1}, {"RVSILLEGAL", 1},    {"FLAG", 3},
    {"RACEEND", 1},      {"LOST", 1},         {"KICK", 4},          {"BAN", 4},
    {"UNBAN", 2},        {"BANNED", 3},       {"PASSWORDLOCK", 2}};

bool timeText(const std::string& t) {
    // "%d:%02d:%03d", with a leading "-" once the clock has wrapped.
    size_t a = t.find(':'), b = t.rfind(':');
    int32_t v = 0;
    return a != std::string::npos && a != b && b == t.size() - 4 && a + 3 == b &&
           number(t.substr(t[0] == '-' ? 1 : 0, a - (t[0] == '-' ? 1 : 0)), v) &&
           number(t.substr(a + 1, 2), v) && number(t.substr(b + 1), v);
}

}  // namespace

bool readResultsFile(const std::string& path, ResultsFile& out, std::string& error) {
    std::string text;
    return readWhole(path, text, error) &&
           parseResultsFile(fs::path(path).filename().string(), text, out, error);
}

bool parseResultsFile(const std::string& file, const std::string& text, ResultsFile& out,
                      std::string& error) {
    out = ResultsFile{};
    out.file = file;
    const std::vector<std::string> lines = linesOf(text);
    auto fail = [&](size_t line, const std::string& why) {
        error = out.file + " line " + std::to_string(line + 1) + ": " + why;
        return false;
    };
    size_t at = 0;
    auto expect = [&](const std::string& key, std::string& value) {
        if (at >= lines.size()) {
            error = out.file + " is cut off: " + key + " expected after line " + std::to_string(at);
            return false;
        }
        if (lines[at].rfind(key + "=", 0) != 0)
            return fail(at, key + "= expected");
        value = lines[at++].substr(key.size() + 1);
        return true;
    };
    auto expectNumber = [&](const std::string& key, int32_t& value) {
        std::string t;
        if (!expect(key, t))
            return false;
        return number(t, value) || fail(at - 1, key + " is not a number");
    };
    if (lines.empty() || lines[0] != "[HEADER]")
        return fail(0, "[HEADER] expected");
    at = 1;
    int32_t type = 0, clients = 0;
    if (!expect("NAME", out.name) || !expectNumber("TYPE", type) ||
        !expectNumber("CLIENTS", clients))
        return false;
    out.type = type;
    if (clients < 0 || clients > 255)
        return fail(at - 1, "CLIENTS out of range");
    for (int32_t i = 0; i < clients; ++i) {
        const std::string header = "[CLIENT" + std::to_string(i) + "]";
        if (at < lines.size() && lines[at].empty())
            ++at;
        if (at >= lines.size()) {
            error = out.file + " is cut off: " + std::to_string(i) + " of " +
                    std::to_string(clients) + " client sections";
            return false;
        }
        if (lines[at] != header)
            return fail(at, header + " expected");
        ++at;
        ResultLine r;
        if (!expect("GUID", r.guid) || !expectNumber("BESTLAP", r.bestLap) ||
            !expectNumber("QUALIFYLAP", r.qualifyLap) || !expectNumber("RACELAPS", r.laps) ||
            !expectNumber("RACETIME", r.raceTime))
            return false;
        out.standings.push_back(r);
    }
    for (; at < lines.size(); ++at)
        if (!lines[at].empty())
            return fail(at, "unexpected text after the last client section");
    return true;
}

bool readEventLog(const std::string& path, std::vector<LogEvent>& out, std::string& error,
                  bool allowPartialLastLine) {
    std::string text;
    return readWhole(path, text, error) && parseEventLog(fs::path(path).filename().string(), text,
                                                         out, error, allowPartialLastLine);
}

bool parseEventLog(const std::string& name, const std::string& text, std::vector<LogEvent>& out,
                   std::string& error, bool allowPartialLastLine) {
    std::vector<std::string> lines = linesOf(text);
    if (!text.empty() && text.back() != '\n') {
        if (!allowPartialLastLine) {
            error = name + " is cut off in line " + std::to_string(lines.size());
            return false;
        }
        lines.pop_back();
    }
    out.clear();
    for (size_t i = 0; i < lines.size(); ++i) {
        LogEvent e;
        if (!readEventLine(lines[i], e)) {
            error = name + " line " + std::to_string(i + 1) + ": not an event line: \"" +
                    lines[i].substr(0, 60) + "\"";
            return false;
        }
        e.lineNumber = int(i + 1);
        out.push_back(e);
    }
    return true;
}

bool readEventLine(std::string line, LogEvent& out) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::vector<std::string> parts;
    std::istringstream in(line);
    for (std::string part; std::getline(in, part, ',');)
        parts.push_back(part);
    if (!line.empty() && line.back() == ',')
        parts.push_back("");
    auto known = parts.size() >= 2 ? kEventFields.find(parts[1]) : kEventFields.end();
    if (parts.size() < 2 || !timeText(parts[0]) || known == kEventFields.end() ||
        parts.size() - 2 < known->second)
        return false;
    out.time = parts[0];
    out.kind = parts[1];
    out.fields.assign(parts.begin() + 2, parts.end());
    return true;
}

std::string newestEventLog(const std::string& folder) {
    std::string newest;
    fs::file_time_type newestTime{};
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string n = entry.path().filename().string();
        if (n.rfind("rvserverlog[", 0) != 0 || entry.path().extension() != ".txt")
            continue;
        const auto t = entry.last_write_time(ec);
        if (newest.empty() || t > newestTime) {
            newest = entry.path().string();
            newestTime = t;
        }
    }
    return newest;
}

int64_t serverTimeMs(const std::string& t) {
    const bool negative = !t.empty() && t[0] == '-';
    const size_t a = t.find(':'), b = t.rfind(':');
    int32_t m = 0, sec = 0, ms = 0;
    if (a == std::string::npos || a == b || !number(t.substr(negative ? 1 : 0, a - negative), m) ||
        !number(t.substr(a + 1, b - a - 1), sec) || !number(t.substr(b + 1), ms))
        return 0;
    const int64_t v = int64_t(m) * 60000 + sec * 1000 + ms;
    return negative ? -v : v;
}

std::vector<LoggedSession> loggedSessions(const std::vector<LogEvent>& log) {
    std::vector<LoggedSession> sessions;
    for (const LogEvent& e : log) {
        if (e.kind == "SESSION") {
            if (!sessions.empty())
                sessions.back().ended = true;
            LoggedSession s;
            s.opening = &e;
            s.name = e.fields[0];
            // Fields after the name: type, wait, accept new, esc mode, max laps, min laps, race
            // laps, session time. A name holding commas shifts them, so they are read from the end.
            const size_t n = e.fields.size();
            int32_t v = 0;
            s.type = number(e.fields[n - 8], v) ? v : 0;
            s.maxLaps = number(e.fields[n - 4], v) ? v : 0;
            s.raceLaps = number(e.fields[n - 2], v) ? v : 0;
            s.sessionMs = number(e.fields[n - 1], v) ? v : 0;
            for (size_t i = 1; i + 8 < n; ++i)
                s.name += "," + e.fields[i];
            sessions.push_back(s);
        } else if (!sessions.empty()) {
            sessions.back().events.push_back(&e);
        }
    }
    return sessions;
}

bool zeroedResults(const ResultsFile& file) {
    return std::all_of(file.standings.begin(), file.standings.end(), [](const ResultLine& r) {
        return r.laps == 0 && r.bestLap == 0 && r.qualifyLap == 0;
    });
}

namespace {

// The lap a session ranks by: qualifying its qualifying laps, practice its best laps.
int32_t rankingLap(const ResultLine& r, int type) {
    return type == 1 ? r.qualifyLap : r.bestLap;
}

std::set<std::string> finishersOf(const LoggedSession& s) {
    std::set<std::string> out;
    bool won = false;
    for (const LogEvent* e : s.events) {
        if (e->kind == "RACEEND") {
            won = true;
            out.insert(e->fields[0]);
        } else if (won && e->kind == "LAP") {
            out.insert(e->fields[0]);
        }
    }
    return out;
}

// The standings the server would have saved, rebuilt from the session's LAP lines, in the order
// the last laps were logged. The race times are the zeroed file's when the race's own reset wrote
// it (it keeps them), else the sum of the logged laps.
std::vector<ResultLine> standingsFromLog(const LoggedSession& s, const ResultsFile* file,
                                         bool fileTimesAreOwn) {
    std::vector<ResultLine> rows;
    std::vector<int> lastLapLine;
    auto rowOf = [&](const std::string& guid) -> size_t {
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].guid == guid)
                return i;
        rows.push_back({guid, 0, 0, 0, 0});
        lastLapLine.push_back(INT32_MAX);
        return rows.size() - 1;
    };
    if (file != nullptr)
        for (const ResultLine& r : file->standings)
            rowOf(r.guid);
    for (const LogEvent* e : s.events) {
        if (e->kind != "LAP")
            continue;
        const size_t i = rowOf(e->fields[0]);
        const int32_t ms = int32_t(serverTimeMs(e->fields[1]));
        ResultLine& r = rows[i];
        ++r.laps;
        r.raceTime += ms;
        lastLapLine[i] = e->lineNumber;
        if (ms > 0 && (r.bestLap == 0 || ms < r.bestLap))
            r.bestLap = ms;
        if (s.type == 1 && ms > 0 && (r.qualifyLap == 0 || ms < r.qualifyLap))
            r.qualifyLap = ms;
    }
    if (file != nullptr && fileTimesAreOwn)
        for (const ResultLine& f : file->standings)
            rows[rowOf(f.guid)].raceTime = f.raceTime;
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const ResultLine &x = rows[a], &y = rows[b];
        if (s.type == 2)
            return x.laps != y.laps ? x.laps > y.laps : lastLapLine[a] < lastLapLine[b];
        if ((x.laps == 0) != (y.laps == 0))
            return y.laps == 0;
        return rankingLap(x, s.type) < rankingLap(y, s.type);
    });
    std::vector<ResultLine> out;
    for (size_t i : order)
        out.push_back(rows[i]);
    return out;
}

bool hasLaps(const LoggedSession& s) {
    return std::any_of(s.events.begin(), s.events.end(),
                       [](const LogEvent* e) { return e->kind == "LAP"; });
}

}  // namespace

// The name a results file was saved under: the server keeps an earlier save of the same name
// in the same minute as "<name>-<n>.txt".
std::string savedName(const std::string& file) {
    const size_t dash = file.rfind('-');
    const size_t dot = file.rfind('.');
    if (dash == std::string::npos || dot == std::string::npos || dot <= dash + 1)
        return file;
    for (size_t i = dash + 1; i < dot; ++i)
        if (file[i] < '0' || file[i] > '9')
            return file;
    return file.substr(0, dash) + file.substr(dot);
}

std::vector<SessionOutcome> sessionOutcomes(const std::vector<ResultsFile>& files,
                                            const std::vector<LoggedSession>& logged) {
    // Saves of one name in one minute are one session's: the race reset's rewrite on zeroed
    // laps never stands for a session of its own beside the real results it came after.
    std::map<std::string, int> withLaps;
    for (const ResultsFile& f : files)
        withLaps[savedName(f.file)] += zeroedResults(f) ? 0 : 1;
    std::vector<const ResultsFile*> fileOf(logged.size(), nullptr);
    std::vector<const ResultsFile*> unmatched;
    for (const ResultsFile& f : files) {
        if (zeroedResults(f) && withLaps[savedName(f.file)] > 0)
            continue;
        size_t i = 0;
        while (i < logged.size() && (fileOf[i] != nullptr || logged[i].name != f.name))
            ++i;
        if (i < logged.size())
            fileOf[i] = &f;
        else if (logged.empty() || !zeroedResults(f))
            unmatched.push_back(&f);
    }
    std::vector<SessionOutcome> out;
    for (size_t i = 0; i < logged.size(); ++i) {
        const LoggedSession& s = logged[i];
        const ResultsFile* f = fileOf[i];
        const bool zeroed = f == nullptr || zeroedResults(*f);
        // A session whose file is gone (a later save of the same name in the same minute) counts
        // once the log has moved on from it; one still running has no results yet.
        if (f == nullptr && !(s.ended && hasLaps(s)))
            continue;
        SessionOutcome o;
        o.logged = &s;
        o.file = f;
        o.type = s.type;
        o.fromLog = zeroed && hasLaps(s);
        // The race reset saves the race it restarts, then the session before it once more.
        const bool ownReset = s.type == 2 && i + 1 < logged.size() && logged[i + 1].name == s.name;
        o.standings = o.fromLog ? standingsFromLog(s, f, ownReset) : f->standings;
        if (s.type == 2)
            o.finishers = finishersOf(s);
        out.push_back(o);
    }
    for (const ResultsFile* f : unmatched) {
        SessionOutcome o;
        o.file = f;
        o.type = f->type;
        o.standings = f->standings;
        out.push_back(o);
    }
    return out;
}

std::string gapText(const ResultLine& leader, const ResultLine& r, int type) {
    if (&leader == &r || leader.guid == r.guid)
        return "";
    if (type == 2) {
        if (r.laps < leader.laps)
            return "+" + std::to_string(leader.laps - r.laps) +
                   (leader.laps - r.laps == 1 ? " lap" : " laps");
        return "+" + CTimer::formatTime(r.raceTime - leader.raceTime);
    }
    const int32_t mine = rankingLap(r, type), best = rankingLap(leader, type);
    if (mine <= 0 || best <= 0)
        return "";
    return "+" + CTimer::formatTime(mine - best);
}
