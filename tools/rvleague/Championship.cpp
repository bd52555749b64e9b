// Championship tables: points by finishing position over the race sessions the rules select.
#include <algorithm>
#include <map>
#include <sstream>

#include "runtime/ZTINIReader.h"
#include "rvleague/Queries.h"
#include "util/LineEnds.h"

using nlohmann::ordered_json;

namespace {

// Finishing places the countback compares; a grid is never larger than the server's 255 clients.
constexpr size_t kCountbackPlaces = 256;

// ZTINIReader gives the whole section for a missing key, so presence is looked up first.
bool has(const ZTINIReader& ini, const std::string& key) {
    return ini.sectionText("CHAMPIONSHIP").find(key + "=") != std::string::npos;
}

std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, by);)
        if (!part.empty())
            out.push_back(part);
    return out;
}

bool wholeNumber(const std::string& text, long long& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 12)
        return false;
    out = std::stoll(text);
    return true;
}

bool dateValue(const std::string& text) {
    return text.size() == 10 && text[4] == '-' && text[7] == '-' &&
           text.find_first_not_of("0123456789-") == std::string::npos;
}

// The rules' filter on sessions `s` of events `e`, with its parameters after `params`.
std::string roundFilter(const ChampionshipRules& rules, std::vector<SqlValue>& params) {
    std::string where = " WHERE s.type = 2";
    auto list = [&](const char* column, auto values) {
        where += std::string(" AND ") + column + " IN (";
        for (size_t i = 0; i < values.size(); ++i) {
            params.push_back(values[i]);
            where += (i ? ",$" : "$") + std::to_string(params.size());
        }
        where += ")";
    };
    if (!rules.tracks.empty())
        list("e.track", rules.tracks);
    if (!rules.events.empty()) {
        std::vector<SqlValue> ids;
        for (long long id : rules.events)
            ids.push_back(SqlValue(int64_t(id)));
        list("e.id", ids);
    }
    if (!rules.from.empty()) {
        params.push_back(rules.from);
        where += " AND s.started_at >= $" + std::to_string(params.size());
    }
    if (!rules.to.empty()) {
        params.push_back(rules.to + " 99");  // the whole last day
        where += " AND s.started_at < $" + std::to_string(params.size());
    }
    return where;
}

struct Standing {
    std::string guid, name;
    std::vector<int> scores;    // one per round entered
    std::vector<int> finishes;  // count of each finishing position, first place first
    int points = 0;
};

}  // namespace

bool readChampionshipRules(const std::string& text, ChampionshipRules& out, std::string& error) {
    ZTINIReader ini;
    std::string lf = text;
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    ini.content = withCrlf(lf);
    ini.loaded = true;
    out = {};
    auto get = [&](const char* key) { return ini.getString("CHAMPIONSHIP", key); };
    if (ini.sectionText("CHAMPIONSHIP").empty() || !has(ini, "NAME") || !has(ini, "POINTS")) {
        error = "[CHAMPIONSHIP] with NAME= and POINTS= expected";
        return false;
    }
    out.name = get("NAME");
    for (const std::string& p : split(get("POINTS"), ',')) {
        long long v = 0;
        if (!wholeNumber(p, v)) {
            error = "POINTS wants whole numbers separated by commas, not \"" + get("POINTS") + "\"";
            return false;
        }
        out.points.push_back(int(v));
    }
    for (auto [key, value] :
         {std::pair{"FASTESTLAP", &out.fastestLap}, {"DROPWORST", &out.dropWorst}}) {
        long long v = 0;
        if (has(ini, key) && !wholeNumber(get(key), v)) {
            error = std::string(key) + " wants a whole number, not \"" + get(key) + "\"";
            return false;
        }
        *value = int(v);
    }
    if (has(ini, "TRACK"))
        out.tracks = split(get("TRACK"), ';');
    if (has(ini, "EVENTS"))
        for (const std::string& id : split(get("EVENTS"), ',')) {
            long long v = 0;
            if (!wholeNumber(id, v)) {
                error =
                    "EVENTS wants event numbers separated by commas, not \"" + get("EVENTS") + "\"";
                return false;
            }
            out.events.push_back(v);
        }
    for (auto [key, value] : {std::pair{"FROM", &out.from}, {"UNTIL", &out.to}}) {
        if (!has(ini, key))
            continue;
        *value = get(key);
        if (!dateValue(*value)) {
            error = std::string(key) + " wants a date YYYY-MM-DD, not \"" + *value + "\"";
            return false;
        }
    }
    return true;
}

ordered_json championship(Repository& r, const ChampionshipRules& rules) {
    std::vector<SqlValue> params;
    const std::string where = roundFilter(rules, params);
    const std::string from = " FROM sessions s JOIN events e ON e.id = s.event_id";
    const size_t rounds = size_t(r.query("SELECT COUNT(*)" + from + where, params)[0].integer(0));
    // A season's thousands of result rows come back as counts per driver, classified position
    // (0 for a driver without a lap) and fastest-lap bonus: enough for points, dropped rounds and
    // the countback.
    std::map<std::string, Standing> table;
    for (const SqlRow& row : r.query(
             "SELECT x.guid, CASE WHEN x.laps > 0 THEN x.position ELSE 0 END,"
             " CASE WHEN s.fastest_guid = x.guid THEN 1 ELSE 0 END, COUNT(*)" +
                 from + " JOIN results x ON x.session_id = s.id" + where + " GROUP BY x.guid, 2, 3",
             params)) {
        Standing& st = table[row.text(0)];
        st.guid = row.text(0);
        st.finishes.resize(kCountbackPlaces, 0);
        const int64_t position = row.integer(1), times = row.integer(3);
        int score = int(row.integer(2)) * rules.fastestLap;
        if (position >= 1 && size_t(position) <= rules.points.size())
            score += rules.points[size_t(position) - 1];
        if (position >= 1 && position <= int64_t(kCountbackPlaces))
            st.finishes[size_t(position) - 1] += int(times);
        st.scores.insert(st.scores.end(), size_t(times), score);
    }
    for (const SqlRow& row : r.query("SELECT guid, name FROM drivers"))
        if (auto it = table.find(row.text(0)); it != table.end())
            it->second.name = row.text(1);
    std::vector<Standing> order;
    for (auto& [guid, st] : table) {
        st.scores.resize(std::max(rounds, st.scores.size()), 0);  // rounds not entered
        std::sort(st.scores.begin(), st.scores.end());
        for (size_t i = std::min(st.scores.size(), size_t(std::max(rules.dropWorst, 0)));
             i < st.scores.size(); ++i)
            st.points += st.scores[i];
        order.push_back(st);
    }
    // Points, then wins, then second places and so on; a tie beyond that stays in guid order.
    std::stable_sort(order.begin(), order.end(), [](const Standing& a, const Standing& b) {
        if (a.points != b.points)
            return a.points > b.points;
        return a.finishes > b.finishes;
    });
    ordered_json doc = {
        {"name", rules.name}, {"rounds", rounds}, {"standings", ordered_json::array()}};
    for (size_t i = 0; i < order.size(); ++i)
        doc["standings"].push_back({{"position", i + 1},
                                    {"guid", order[i].guid},
                                    {"name", order[i].name},
                                    {"points", order[i].points},
                                    {"wins", order[i].finishes[0]}});
    return doc;
}

void keepChampionship(Repository& r, const std::string& name, const std::string& text) {
    r.transaction([&] {
        r.query(
            "INSERT INTO championships (name, rules) VALUES ($1, $2)"
            " ON CONFLICT (name) DO UPDATE SET rules = excluded.rules",
            {name, text});
    });
}

std::vector<std::string> championshipNames(Repository& r) {
    std::vector<std::string> names;
    for (const SqlRow& row : r.query("SELECT name FROM championships ORDER BY name"))
        names.push_back(row.text(0));
    return names;
}

std::string championshipText(Repository& r, const std::string& name) {
    const SqlRows rows = r.query("SELECT rules FROM championships WHERE name = $1", {name});
    return rows.empty() ? "" : rows[0].text(0);
}
