#include "rvresults/Export.h"

#include <map>

#include "race/SessionRecord.h"
#include "transport/CTimer.h"

using nlohmann::ordered_json;

namespace {

ordered_json lapTime(int32_t ms) {
    return ms > 0 ? ordered_json(CTimer::formatTime(ms)) : ordered_json(nullptr);
}

// The fields from `first` on as one text: the last field of an event may hold commas.
std::string textFrom(const std::vector<std::string>& f, size_t first) {
    std::string text = first < f.size() ? f[first] : "";
    for (size_t i = first + 1; i < f.size(); ++i)
        text += "," + f[i];
    return text;
}

// A kick, a ban, a lifted ban or a join a ban turned away, with the fields each kind has.
ordered_json raceControl(const LogEvent& e) {
    const auto& f = e.fields;
    ordered_json out = {{"time", e.time}, {"kind", e.kind}, {"target", f[0]}};
    if (e.kind == "KICK" || e.kind == "BANNED")
        out["address"] = f[1];
    if (e.kind != "BANNED")
        out["admin"] = f[e.kind == "KICK" ? 2 : 1];
    if (e.kind == "BAN")
        out["minutes"] = f[2];
    if (e.kind != "UNBAN")
        out["reason"] = textFrom(f, e.kind == "BANNED" ? 2 : 3);
    return out;
}

ordered_json eventsOf(const LoggedSession* s) {
    ordered_json out = {{"joins", ordered_json::array()},       {"laps", ordered_json::array()},
                        {"chat", ordered_json::array()},        {"contacts", ordered_json::array()},
                        {"infractions", ordered_json::array()}, {"flags", ordered_json::array()},
                        {"raceControl", ordered_json::array()}};
    if (s == nullptr)
        return out;
    for (const LogEvent* e : s->events) {
        const auto& f = e->fields;
        const std::string& k = e->kind;
        if (k == "JOIN")
            out["joins"].push_back({{"time", e->time},
                                    {"name", f.front()},
                                    {"raceNumber", f[1]},
                                    {"guid", f[f.size() - 2]},
                                    {"nationality", f.back()}});
        else if (k == "LAP")
            out["laps"].push_back({{"time", e->time},
                                   {"guid", f[0]},
                                   {"lap", f[1]},
                                   {"split", f[2]},
                                   {"number", f[3]}});
        else if (k == "CHAT")
            out["chat"].push_back({{"time", e->time}, {"guid", f[0]}, {"text", textFrom(f, 1)}});
        else if (k == "CONTACT")
            out["contacts"].push_back({{"time", e->time}, {"guid", f[0]}, {"other", f[1]}});
        else if (k == "CONTACTWALL")
            out["contacts"].push_back({{"time", e->time}, {"guid", f[0]}, {"other", nullptr}});
        else if (k == "JUMPSTART" || k == "PITSPEEDINFRACTION" || k == "CARILLEGAL" ||
                 k == "TRACKILLEGAL" || k == "RVSILLEGAL")
            out["infractions"].push_back({{"time", e->time}, {"kind", k}, {"guid", f[0]}});
        else if (k == "FLAG")
            out["flags"].push_back(
                {{"time", e->time}, {"guid", f[0]}, {"sector", f[1]}, {"flag", f[2]}});
        else if (k == "KICK" || k == "BAN" || k == "UNBAN" || k == "BANNED")
            out["raceControl"].push_back(raceControl(*e));
    }
    return out;
}

}  // namespace

std::vector<ordered_json> sessionDocuments(const std::vector<ResultsFile>& results,
                                           const std::vector<LogEvent>& log) {
    std::map<std::string, std::string> names;  // guid -> name, from every JOIN of the event
    for (const LogEvent& e : log)
        if (e.kind == "JOIN")
            names[e.fields[e.fields.size() - 2]] = e.fields.front();
    const std::vector<LoggedSession> logged = loggedSessions(log);
    std::vector<ordered_json> docs;
    for (const SessionOutcome& o : sessionOutcomes(results, logged)) {
        ordered_json standings = ordered_json::array();
        for (size_t i = 0; i < o.standings.size(); ++i) {
            const ResultLine& l = o.standings[i];
            auto name = names.find(l.guid);
            const std::string gap = gapText(o.standings.front(), l, o.type);
            standings.push_back(
                {{"position", i + 1},
                 {"guid", l.guid},
                 {"name", name == names.end() ? ordered_json(nullptr) : ordered_json(name->second)},
                 {"laps", l.laps},
                 {"bestLap", lapTime(l.bestLap)},
                 {"bestLapMs", l.bestLap},
                 {"qualifyLap", lapTime(l.qualifyLap)},
                 {"qualifyLapMs", l.qualifyLap},
                 {"raceTime", o.type == 2 ? lapTime(l.raceTime) : ordered_json(nullptr)},
                 {"raceTimeMs", l.raceTime},
                 {"gap", gap.empty() ? ordered_json(nullptr) : ordered_json(gap)}});
        }
        docs.push_back({{"file", o.file ? ordered_json(o.file->file) : ordered_json(nullptr)},
                        {"session", o.logged ? o.logged->name : o.file->name},
                        {"type", o.type},
                        {"typeName", sessionTypeName(o.type)},
                        {"standings", standings},
                        {"events", eventsOf(o.logged)}});
    }
    return docs;
}

namespace {

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string cell(const ordered_json& v) {
    if (v.is_null())
        return "<td></td>";
    return "<td>" + escape(v.is_string() ? v.get<std::string>() : v.dump()) + "</td>";
}

}  // namespace

std::string raceControlText(const ordered_json& e) {
    auto field = [&](const char* key) { return e[key].get<std::string>(); };
    std::string text = field("time") + " " + field("kind") + " " + field("target");
    if (e.contains("address"))
        text += " (" + field("address") + ")";
    if (e.contains("minutes"))
        text += field("minutes") == "0" ? " for good" : " for " + field("minutes") + " min";
    if (e.contains("admin"))
        text += " by " + field("admin");
    if (e.contains("reason"))
        text += ": " + field("reason");
    return text;
}

std::string htmlPage(const std::string& title, const std::vector<ordered_json>& sessions) {
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                       escape(title) +
                       "</title>\n<style>body{font-family:sans-serif}table{border-collapse:"
                       "collapse}td,th{padding:2px 8px;border-bottom:1px solid #ccc}</style>"
                       "</head>\n<body><h1>" +
                       escape(title) + "</h1>\n";
    for (const ordered_json& s : sessions) {
        page += "<h2>" + escape(s["session"].get<std::string>()) + " (" +
                s["typeName"].get<std::string>() +
                ")</h2>\n<table><tr><th>Pos</th><th>Driver"
                "</th><th>Laps</th><th>Best lap</th><th>Race time</th><th>Gap</th></tr>\n";
        for (const ordered_json& r : s["standings"])
            page += "<tr>" + cell(r["position"]) +
                    cell(r["name"].is_null() ? r["guid"] : r["name"]) + cell(r["laps"]) +
                    cell(s["type"] == 1 ? r["qualifyLap"] : r["bestLap"]) + cell(r["raceTime"]) +
                    cell(r["gap"]) + "</tr>\n";
        page += "</table>\n";
        for (const ordered_json& e : s["events"]["raceControl"])
            page += "<p>" + escape(raceControlText(e)) + "</p>\n";
    }
    return page + "</body></html>\n";
}
