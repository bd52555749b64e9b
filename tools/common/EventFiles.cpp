#include "common/EventFiles.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

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
    {"RACEEND", 1},      {"LOST", 1}};

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
        e.lineNumber = int(i + 1);
        std::vector<std::string> parts;
        std::istringstream in(lines[i]);
        for (std::string part; std::getline(in, part, ',');)
            parts.push_back(part);
        if (!lines[i].empty() && lines[i].back() == ',')
            parts.push_back("");
        auto known = parts.size() >= 2 ? kEventFields.find(parts[1]) : kEventFields.end();
        if (parts.size() < 2 || !timeText(parts[0]) || known == kEventFields.end() ||
            parts.size() - 2 < known->second) {
            error = name + " line " + std::to_string(i + 1) + ": not an event line: \"" +
                    lines[i].substr(0, 60) + "\"";
            return false;
        }
        e.time = parts[0];
        e.kind = parts[1];
        e.fields.assign(parts.begin() + 2, parts.end());
        out.push_back(e);
    }
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
