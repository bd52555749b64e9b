#include "rvleague/Schema.h"

#include <vector>

namespace {

// Each step takes the schema from its index to the next version; "{id}" is the engine's generated
// key column. Steps are only ever appended.
const std::vector<std::vector<const char*>> kMigrations = {{
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    // One server run: its log file, and the content it ran, the four checksums joined by "/".
    "CREATE TABLE events (id {id}, server_name TEXT NOT NULL, track TEXT NOT NULL,"
    " configuration TEXT NOT NULL, car TEXT NOT NULL, fingerprint TEXT NOT NULL,"
    " started_at TEXT NOT NULL, folder TEXT NOT NULL, log_file TEXT NOT NULL,"
    " UNIQUE (server_name, log_file, started_at))",
    "CREATE TABLE drivers (guid TEXT PRIMARY KEY, name TEXT NOT NULL, team TEXT NOT NULL,"
    " seen_at TEXT NOT NULL)",
    // ordinal: the session's place among the log's SESSION lines.
    "CREATE TABLE sessions (id {id}, event_id BIGINT NOT NULL REFERENCES events(id),"
    " ordinal INTEGER NOT NULL, name TEXT NOT NULL, type INTEGER NOT NULL,"
    " race_laps INTEGER NOT NULL, session_ms BIGINT NOT NULL, started_at TEXT NOT NULL,"
    " ended_at TEXT NOT NULL, results_file TEXT, from_log INTEGER NOT NULL,"
    " fastest_guid TEXT,"  // the best valid lap's driver, for championship bonuses
    " UNIQUE (event_id, ordinal))",
    "CREATE TABLE results (session_id BIGINT NOT NULL REFERENCES sessions(id),"
    " position INTEGER NOT NULL, guid TEXT NOT NULL REFERENCES drivers(guid),"
    " laps INTEGER NOT NULL, best_lap_ms INTEGER NOT NULL, qualify_lap_ms INTEGER NOT NULL,"
    " race_time_ms INTEGER NOT NULL, gap TEXT NOT NULL, finished INTEGER NOT NULL,"
    " infractions INTEGER NOT NULL, penalties INTEGER NOT NULL, PRIMARY KEY (session_id, guid))",
    "CREATE INDEX results_by_driver ON results (guid)",
    // Championships read a season's race results through the sessions of one type.
    "CREATE INDEX sessions_by_type ON sessions (type, started_at)",
    "CREATE INDEX results_placed ON results (session_id, guid, position, laps)",
    "CREATE TABLE laps (id {id}, session_id BIGINT NOT NULL REFERENCES sessions(id),"
    " guid TEXT NOT NULL REFERENCES drivers(guid), lap_number INTEGER NOT NULL,"
    " lap_ms INTEGER NOT NULL, split_ms INTEGER NOT NULL, valid INTEGER NOT NULL,"
    " log_line INTEGER NOT NULL, UNIQUE (session_id, log_line))",
    // Kept on import, so that a leaderboard reads one row per driver rather than every lap.
    "CREATE TABLE personal_bests (guid TEXT NOT NULL REFERENCES drivers(guid),"
    " track TEXT NOT NULL, configuration TEXT NOT NULL, car TEXT NOT NULL,"
    " fingerprint TEXT NOT NULL, lap_ms INTEGER NOT NULL, event_id BIGINT NOT NULL"
    " REFERENCES events(id), set_at TEXT NOT NULL,"
    " PRIMARY KEY (track, configuration, car, fingerprint, guid))",
    "CREATE INDEX laps_fastest ON laps (session_id, valid, lap_ms)",
    "CREATE INDEX personal_bests_by_driver ON personal_bests (guid)",
    // Kicks and bans as the log tells them; subject is a guid or an address[/bits].
    "CREATE TABLE incidents (event_id BIGINT NOT NULL REFERENCES events(id),"
    " log_line INTEGER NOT NULL, at_ms BIGINT NOT NULL, kind TEXT NOT NULL,"
    " subject TEXT NOT NULL, address TEXT NOT NULL, admin TEXT NOT NULL, minutes INTEGER,"
    " reason TEXT NOT NULL, PRIMARY KEY (event_id, log_line))",
    // The rules of every championship asked for, so the league pages can list its table.
    "CREATE TABLE championships (name TEXT PRIMARY KEY, rules TEXT NOT NULL)",
    "INSERT INTO schema_version (version) VALUES (0)",
}};

int currentVersion(Repository& repository) {
    const SqlRows tables = repository.query(
        repository.identityColumn().rfind("INTEGER", 0) == 0
            ? "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'"
            : "SELECT tablename FROM pg_tables WHERE schemaname = current_schema()"
              " AND tablename = 'schema_version'");
    if (tables.empty())
        return 0;
    const SqlRows rows = repository.query("SELECT MAX(version) FROM schema_version");
    return rows.empty() ? 0 : int(rows[0].integer(0));
}

}  // namespace

void migrate(Repository& repository) {
    static_assert(kSchemaVersion == 1, "one migration step per version");
    const int found = currentVersion(repository);
    if (found > kSchemaVersion)
        throw LeagueError(LeagueError::Kind::Failed,
                          repository.describe() + " holds a league of schema version " +
                              std::to_string(found) + "; this rvleague knows up to version " +
                              std::to_string(kSchemaVersion));
    if (found == kSchemaVersion)
        return;
    try {
        repository.transaction([&] {
            // Another importer may have migrated meanwhile.
            const int now = currentVersion(repository);
            for (int v = now; v < kSchemaVersion; ++v) {
                for (std::string sql : kMigrations[size_t(v)]) {
                    for (size_t at; (at = sql.find("{id}")) != std::string::npos;)
                        sql.replace(at, 4, repository.identityColumn());
                    repository.query(sql);
                }
                repository.query("UPDATE schema_version SET version = $1", {v + 1});
            }
        });
    } catch (const LeagueError&) {
        // Two programs creating the same league at once: the one that lost finds it made.
        if (currentVersion(repository) != kSchemaVersion)
            throw;
    }
}
