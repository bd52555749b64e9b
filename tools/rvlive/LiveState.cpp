#include "rvlive/LiveState.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "race/SessionRecord.h"
#include "transport/CTimer.h"

using nlohmann::ordered_json;

namespace {

constexpr size_t kLatestEvents = 12;

// "%d:%02d:%03d" back to milliseconds; the log's own stamps are always in that form.
int64_t stampMs(const std::string& t) {
    int m = 0, s = 0, ms = 0;
    const bool negative = !t.empty() && t[0] == '-';
    const char* p = t.data() + (negative ? 1 : 0);
    const char* end = t.data() + t.size();
    p = std::from_chars(p, end, m).ptr + 1;
    p = std::from_chars(p, end, s).ptr + 1;
    std::from_chars(p, end, ms);
    const int64_t v = int64_t(m) * 60000 + s * 1000 + ms;
    return negative ? -v : v;
}

int32_t lapMs(const std::string& t) {
    return int32_t(stampMs(t));
}

struct Driver {
    std::string guid;
    int laps = 0;
    int32_t last = 0;
    int32_t best = 0;
    int64_t reachedAt = 0;                // stamp of the latest lap
    std::vector<int64_t> lapStamps = {};  // stamp of each completed lap, for race gaps
};

std::string eventText(const LogEvent& e, const std::map<std::string, std::string>& names) {
    auto name = [&](const std::string& guid) {
        auto it = names.find(guid);
        return it == names.end() ? guid : it->second;
    };
    const auto& f = e.fields;
    if (e.kind == "JOIN")
        return f.front() + " joins";
    if (e.kind == "LAP")
        return name(f[0]) + " lap " + f[3] + " in " + f[1];
    if (e.kind == "CHAT") {
        std::string text = f[1];
        for (size_t i = 2; i < f.size(); ++i)
            text += "," + f[i];
        return name(f[0]) + ": " + text;
    }
    if (e.kind == "FLAG")
        return "flag " + f[2] + " in sector " + f[1] + " (" + name(f[0]) + ")";
    if (e.kind == "SESSION")
        return "session " + f[0];
    if (e.kind == "RACEEND")
        return name(f[0]) + " wins";
    if (f.empty())
        return e.kind;
    return e.kind + " " + name(f[0]);
}

}  // namespace

ordered_json liveState(const std::vector<LogEvent>& events, const std::string& statusText) {
    std::map<std::string, std::string> names;
    ordered_json session = {
        {"name", nullptr}, {"type", nullptr}, {"typeName", nullptr}, {"status", statusText}};
    std::vector<Driver> drivers;
    int type = 0;
    for (const LogEvent& e : events) {
        if (e.kind == "JOIN")
            names[e.fields[e.fields.size() - 2]] = e.fields.front();
        if (e.kind == "SESSION") {
            int32_t t = 0;
            std::from_chars(e.fields[1].data(), e.fields[1].data() + e.fields[1].size(), t);
            type = t;
            session["name"] = e.fields[0];
            session["type"] = type;
            session["typeName"] = sessionTypeName(type);
            drivers.clear();
        }
        if (e.kind == "LAP") {
            auto it = std::find_if(drivers.begin(), drivers.end(),
                                   [&](const Driver& d) { return d.guid == e.fields[0]; });
            if (it == drivers.end())
                it = drivers.insert(drivers.end(), Driver{.guid = e.fields[0]});
            it->laps++;
            it->last = lapMs(e.fields[1]);
            if (it->last > 0 && (it->best == 0 || it->last < it->best))
                it->best = it->last;
            it->reachedAt = stampMs(e.time);
            it->lapStamps.push_back(it->reachedAt);
        }
    }
    // Races rank by laps and then by who got there first; the others by best lap.
    std::stable_sort(drivers.begin(), drivers.end(), [type](const Driver& a, const Driver& b) {
        if (type == 2)
            return a.laps != b.laps ? a.laps > b.laps : a.reachedAt < b.reachedAt;
        if ((a.best > 0) != (b.best > 0))
            return a.best > 0;
        return a.best < b.best;
    });
    ordered_json standings = ordered_json::array();
    for (size_t i = 0; i < drivers.size(); ++i) {
        const Driver& d = drivers[i];
        const Driver& leader = drivers.front();
        ordered_json gap = nullptr;
        if (i > 0 && type == 2 && d.laps > 0) {
            gap =
                d.laps < leader.laps
                    ? ordered_json("+" + std::to_string(leader.laps - d.laps) +
                                   (leader.laps - d.laps == 1 ? " lap" : " laps"))
                    : ordered_json("+" + CTimer::formatTime(int32_t(
                                             d.reachedAt - leader.lapStamps[size_t(d.laps - 1)])));
        } else if (i > 0 && d.best > 0 && leader.best > 0) {
            gap = "+" + CTimer::formatTime(d.best - leader.best);
        }
        auto name = names.find(d.guid);
        standings.push_back(
            {{"position", i + 1},
             {"name", name == names.end() ? d.guid : name->second},
             {"laps", d.laps},
             {"lastLap", d.last > 0 ? ordered_json(CTimer::formatTime(d.last)) : nullptr},
             {"bestLap", d.best > 0 ? ordered_json(CTimer::formatTime(d.best)) : nullptr},
             {"gap", gap}});
    }
    ordered_json latest = ordered_json::array();
    const size_t from = events.size() > kLatestEvents ? events.size() - kLatestEvents : 0;
    for (size_t i = events.size(); i-- > from;)
        latest.push_back({{"time", events[i].time},
                          {"kind", events[i].kind},
                          {"text", eventText(events[i], names)}});
    return {{"session", session}, {"standings", standings}, {"events", latest}};
}

const char kLivePage[] = R"page(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Live timing</title>
<style>
body{font-family:sans-serif;margin:1em}table{border-collapse:collapse}
td,th{padding:3px 10px;border-bottom:1px solid #ccc;text-align:left}
#status{font-size:1.3em;margin:.5em 0}
</style></head>
<body>
<h1 id="session">Waiting for the server...</h1>
<div id="status"></div>
<table id="standings"><thead><tr><th>Pos</th><th>Driver</th><th>Laps</th><th>Last lap</th>
<th>Best lap</th><th>Gap</th></tr></thead><tbody></tbody></table>
<h2>Latest events</h2>
<ul id="events"></ul>
<script>
function cell(row, text) { const td = row.insertCell(); td.textContent = text ?? ""; }
async function refresh() {
  try {
    const state = await (await fetch("/live.json", {cache: "no-store"})).json();
    if (state.error !== undefined) {
      document.getElementById("status").textContent = state.error;
      return;
    }
    const s = state.session;
    document.getElementById("session").textContent =
        s.name === null ? "No session yet" : s.name + " (" + s.typeName + ")";
document.getElementById("status").textContent = s.status;
const body = document.querySelector("#standings tbody");
body.replaceChildren();
for (const d of state.standings) {
    const row = body.insertRow();
    for (const v of[d.position, d.name, d.laps, d.lastLap, d.bestLap, d.gap])
        cell(row, v);
}
const list = document.getElementById("events");
list.replaceChildren();
for (const e of state.events) {
    const li = document.createElement("li");
    li.textContent = e.time + "  " + e.text;
    list.appendChild(li);
}
}
catch (e) {
    document.getElementById("status").textContent = "no answer from rvlive";
}
}
refresh();
setInterval(refresh, 1000);
</script>
</body></html>
)page";
