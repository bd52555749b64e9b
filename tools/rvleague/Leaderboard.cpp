// Each driver's best valid lap on one track, configuration and car.
#include <set>

#include "rvleague/Queries.h"
#include "transport/CTimer.h"

using nlohmann::ordered_json;

ordered_json leaderboard(Repository& r, const LeaderboardQuery& q) {
    // The content the board is about: the latest event's on the track, within the filters given.
    std::string sql = "SELECT configuration, car, fingerprint FROM events WHERE track = $1";
    std::vector<SqlValue> params{q.track};
    if (!q.configuration.empty()) {
        params.push_back(q.configuration);
        sql += " AND configuration = $" + std::to_string(params.size());
    }
    if (!q.car.empty()) {
        params.push_back(q.car);
        sql += " AND car = $" + std::to_string(params.size());
    }
    const SqlRows latest = r.query(sql + " ORDER BY started_at DESC, id DESC LIMIT 1", params);
    ordered_json doc = {{"track", q.track},
                        {"configuration", q.configuration},
                        {"car", q.car},
                        {"entries", ordered_json::array()}};
    if (latest.empty())
        return doc;
    doc["configuration"] = latest[0].text(0);
    doc["car"] = latest[0].text(1);
    params = {q.track, latest[0].text(0), latest[0].text(1)};
    sql =
        "SELECT p.guid, d.name, p.lap_ms, p.event_id, p.set_at, e.server_name"
        " FROM personal_bests p JOIN drivers d ON d.guid = p.guid"
        " JOIN events e ON e.id = p.event_id"
        " WHERE p.track = $1 AND p.configuration = $2 AND p.car = $3";
    if (!q.anyContent) {
        params.push_back(latest[0].text(2));
        sql += " AND p.fingerprint = $4";
    }
    std::set<std::string> listed;  // across fingerprints a driver has a best on each
    for (const SqlRow& row : r.query(sql + " ORDER BY p.lap_ms, p.set_at, p.guid", params)) {
        if (!listed.insert(row.text(0)).second)
            continue;
        const int32_t ms = int32_t(row.integer(2));
        doc["entries"].push_back({{"position", listed.size()},
                                  {"guid", row.text(0)},
                                  {"name", row.text(1)},
                                  {"best_lap_ms", ms},
                                  {"best_lap", CTimer::formatTime(ms)},
                                  {"event", row.integer(3)},
                                  {"server", row.text(5)},
                                  {"date", row.text(4).substr(0, 10)}});
    }
    return doc;
}

ordered_json boards(Repository& r) {
    ordered_json out = {{"boards", ordered_json::array()}};
    for (const SqlRow& row : r.query("SELECT DISTINCT track, configuration, car FROM"
                                     " personal_bests ORDER BY track, configuration, car"))
        out["boards"].push_back(
            {{"track", row.text(0)}, {"configuration", row.text(1)}, {"car", row.text(2)}});
    return out;
}
