// Storing one imported event: everything in one transaction, keyed so that a second import of
// the same folder, or a second importer on another host, adds nothing twice.
#include <algorithm>
#include <map>
#include <set>

#include "rvleague/Import.h"

namespace {

// Rows per INSERT: one statement per lap would cost a round trip each on a shared server. Within
// both engines' limit of parameters per statement.
constexpr size_t kRowsPerInsert = 1000;

// `tail` follows the VALUES list (an ON CONFLICT clause).
void insertRows(Repository& r, const std::string& head, size_t columns,
                const std::vector<SqlValue>& values, const std::string& tail = "") {
    const size_t rows = values.size() / columns;
    for (size_t first = 0; first < rows; first += kRowsPerInsert) {
        const size_t count = std::min(kRowsPerInsert, rows - first);
        std::string sql = head + " VALUES ";
        std::vector<SqlValue> params(values.begin() + long(first * columns),
                                     values.begin() + long((first + count) * columns));
        for (size_t i = 0; i < count; ++i) {
            sql += i ? ",(" : "(";
            for (size_t c = 0; c < columns; ++c)
                sql += (c ? ",$" : "$") + std::to_string(i * columns + c + 1);
            sql += ")";
        }
        r.query(sql + tail, params);
    }
}

int64_t eventId(Repository& r, const ImportedEvent& e) {
    const std::vector<SqlValue> key{e.serverName, e.logFile, e.startedAt};
    SqlRows found = r.query(
        "SELECT id FROM events WHERE server_name = $1 AND log_file = $2 AND started_at = $3", key);
    if (!found.empty())
        return found[0].integer(0);
    return r
        .query(
            "INSERT INTO events (server_name, log_file, started_at, track, configuration, car,"
            " fingerprint, folder) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) RETURNING id",
            {e.serverName, e.logFile, e.startedAt, e.track, e.configuration, e.car, e.fingerprint,
             e.folder})[0]
        .integer(0);
}

void storeSession(Repository& r, const ImportedEvent& e, int64_t event, const ImportedSession& s) {
    std::map<std::string, int32_t> best;
    const ImportedLap* fastest = nullptr;
    for (const ImportedLap& l : s.laps) {
        if (!l.valid)
            continue;
        if (best.count(l.guid) == 0 || l.lapMs < best[l.guid])
            best[l.guid] = l.lapMs;
        if (fastest == nullptr || l.lapMs < fastest->lapMs)
            fastest = &l;
    }
    const int64_t id =
        r.query(
             "INSERT INTO sessions (event_id, ordinal, name, type, race_laps, session_ms,"
             " started_at, ended_at, results_file, from_log, fastest_guid) VALUES ($1, $2, $3,"
             " $4, $5, $6, $7, $8, $9, $10, $11) RETURNING id",
             {event, s.ordinal, s.name, s.type, s.raceLaps, s.sessionMs, s.startedAt, s.endedAt,
              s.resultsFile.empty() ? SqlValue() : SqlValue(s.resultsFile), int(s.fromLog),
              fastest ? SqlValue(fastest->guid) : SqlValue()})[0]
            .integer(0);
    std::vector<SqlValue> rows;
    for (size_t i = 0; i < s.results.size(); ++i) {
        const ImportedResult& x = s.results[i];
        rows.insert(rows.end(),
                    {id, int(i + 1), x.line.guid, x.line.laps, x.line.bestLap, x.line.qualifyLap,
                     x.line.raceTime, x.gap, int(x.finished), x.infractions, x.penalties});
    }
    insertRows(r,
               "INSERT INTO results (session_id, position, guid, laps, best_lap_ms, qualify_lap_ms,"
               " race_time_ms, gap, finished, infractions, penalties)",
               11, rows);
    rows.clear();
    for (const ImportedLap& l : s.laps)
        rows.insert(rows.end(),
                    {id, l.guid, l.lapNumber, l.lapMs, l.splitMs, int(l.valid), l.logLine});
    insertRows(r,
               "INSERT INTO laps (session_id, guid, lap_number, lap_ms, split_ms, valid, log_line)",
               7, rows);
    rows.clear();
    for (const auto& [guid, ms] : best)
        rows.insert(rows.end(),
                    {guid, e.track, e.configuration, e.car, e.fingerprint, ms, event, s.startedAt});
    insertRows(r,
               "INSERT INTO personal_bests (guid, track, configuration, car, fingerprint, lap_ms,"
               " event_id, set_at)",
               8, rows,
               " ON CONFLICT (track, configuration, car, fingerprint, guid) DO UPDATE"
               " SET lap_ms = excluded.lap_ms, event_id = excluded.event_id,"
               " set_at = excluded.set_at WHERE excluded.lap_ms < personal_bests.lap_ms");
}

}  // namespace

StoreCount storeEvent(Repository& r, const ImportedEvent& e) {
    StoreCount count;
    if (e.sessions.empty())
        return count;
    r.transaction([&] {
        count = {};
        const int64_t event = eventId(r, e);
        std::set<int64_t> stored;
        for (const SqlRow& row :
             r.query("SELECT ordinal FROM sessions WHERE event_id = $1", {event}))
            stored.insert(row.integer(0));
        std::vector<const ImportedSession*> fresh;
        for (const ImportedSession& s : e.sessions)
            if (stored.count(s.ordinal) == 0)
                fresh.push_back(&s);
        if (fresh.empty())
            return;
        // The latest name and team win: a driver seen again in an older event keeps his newer
        // ones.
        for (const ImportedDriver& d : e.drivers)
            r.query(
                "INSERT INTO drivers (guid, name, team, seen_at) VALUES ($1, $2, $3, $4)"
                " ON CONFLICT (guid) DO UPDATE SET name = excluded.name, team = excluded.team,"
                " seen_at = excluded.seen_at WHERE excluded.seen_at >= drivers.seen_at",
                {d.guid, d.name, d.team, e.startedAt});
        for (const ImportedSession* s : fresh) {
            storeSession(r, e, event, *s);
            ++count.sessions;
            count.laps += int(s->laps.size());
        }
        for (const ImportedIncident& i : e.incidents)
            r.query(
                "INSERT INTO incidents (event_id, log_line, at_ms, kind, subject, address,"
                " admin, minutes, reason) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)"
                " ON CONFLICT (event_id, log_line) DO NOTHING",
                {event, i.logLine, i.atMs, i.kind, i.subject, i.address, i.admin,
                 i.minutes < 0 ? SqlValue() : SqlValue(i.minutes), i.reason});
        count.events = stored.empty() ? 1 : 0;
    });
    return count;
}
