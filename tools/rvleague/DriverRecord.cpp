// One driver's record: events entered, results, wins and personal bests.
#include "rvleague/Queries.h"
#include "transport/CTimer.h"

using nlohmann::ordered_json;

namespace {

// The newest results listed on a driver's page; the counts cover all of them.
constexpr int kResultsListed = 100;

}  // namespace

ordered_json driverRecord(Repository& r, const std::string& guid) {
    const SqlRows who = r.query("SELECT name, team FROM drivers WHERE guid = $1", {guid});
    if (who.empty())
        return nullptr;
    const SqlRows counts = r.query(
        "SELECT COUNT(DISTINCT s.event_id),"
        " SUM(CASE WHEN x.position = 1 AND s.type = 2 AND x.finished = 1 THEN 1 ELSE 0 END)"
        " FROM results x JOIN sessions s ON s.id = x.session_id WHERE x.guid = $1",
        {guid});
    ordered_json doc = {{"guid", guid},
                        {"name", who[0].text(0)},
                        {"team", who[0].text(1)},
                        {"events", counts[0].integer(0)},
                        {"wins", counts[0].integer(1)},
                        {"results", ordered_json::array()},
                        {"personal_bests", ordered_json::array()}};
    for (const SqlRow& row :
         r.query("SELECT e.id, e.server_name, e.track, e.configuration, e.car, s.name, s.type,"
                 " s.started_at, x.position, x.laps, x.best_lap_ms, x.finished"
                 " FROM results x JOIN sessions s ON s.id = x.session_id"
                 " JOIN events e ON e.id = s.event_id WHERE x.guid = $1"
                 " ORDER BY s.started_at DESC, s.id DESC LIMIT " +
                     std::to_string(kResultsListed),
                 {guid}))
        doc["results"].push_back(
            {{"event", row.integer(0)},
             {"server", row.text(1)},
             {"track", row.text(2)},
             {"configuration", row.text(3)},
             {"car", row.text(4)},
             {"session", row.text(5)},
             {"type", row.integer(6)},
             {"date", row.text(7).substr(0, 10)},
             {"position", row.integer(8)},
             {"laps", row.integer(9)},
             {"best_lap", row.integer(10) > 0
                              ? ordered_json(CTimer::formatTime(int32_t(row.integer(10))))
                              : ordered_json(nullptr)},
             {"finished", row.integer(11) != 0}});
    // One best per track, configuration and car: the fastest over every content fingerprint.
    std::string last;
    for (const SqlRow& row :
         r.query("SELECT track, configuration, car, lap_ms, event_id, set_at FROM personal_bests"
                 " WHERE guid = $1 ORDER BY track, configuration, car, lap_ms",
                 {guid})) {
        const std::string key = row.text(0) + "\n" + row.text(1) + "\n" + row.text(2);
        if (key == last)
            continue;
        last = key;
        doc["personal_bests"].push_back({{"track", row.text(0)},
                                         {"configuration", row.text(1)},
                                         {"car", row.text(2)},
                                         {"best_lap_ms", row.integer(3)},
                                         {"best_lap", CTimer::formatTime(int32_t(row.integer(3)))},
                                         {"event", row.integer(4)},
                                         {"date", row.text(5).substr(0, 10)}});
    }
    return doc;
}
