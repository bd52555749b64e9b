#pragma once
// What the league answers: leaderboards, driver records and championship tables, each as the
// JSON document that the command line, the live pages and the static export all show.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "rvleague/Repository.h"

struct LeaderboardQuery {
    std::string track;
    std::string configuration;  // "" = the track's latest event's
    std::string car;            // "" = the track's latest event's
    bool anyContent = false;    // otherwise only laps on the latest event's content fingerprint
};
// {"track", "configuration", "car", "entries": [{"position", "guid", "name", "best_lap_ms",
// "best_lap", "event", "date"}, ...]}; no entries when the league has not seen the track.
nlohmann::ordered_json leaderboard(Repository& repository, const LeaderboardQuery& query);
// Every track, configuration and car the league has laps on: {"boards": [{"track", ...}]}.
nlohmann::ordered_json boards(Repository& repository);

// {"guid", "name", "team", "events", "wins", "results": [...], "personal_bests": [...]}; null when
// the league does not know the guid.
nlohmann::ordered_json driverRecord(Repository& repository, const std::string& guid);

struct ChampionshipRules {
    std::string name;
    std::vector<int> points;  // by finishing position, first place first
    int fastestLap = 0;       // bonus for the race's best valid lap
    int dropWorst = 0;        // rounds each driver's count leaves out
    std::vector<std::string> tracks;
    std::vector<long long> events;
    std::string from, to;  // "YYYY-MM-DD", inclusive; "" = open
};
// Reads [CHAMPIONSHIP] of the server's INI style; false with `error` when a value is not usable.
bool readChampionshipRules(const std::string& text, ChampionshipRules& out, std::string& error);
// {"name", "rounds", "standings": [{"position", "guid", "name", "points", "wins"}, ...]}: every
// race session the rules select is a round.
nlohmann::ordered_json championship(Repository& repository, const ChampionshipRules& rules);
// Remembers the rules under their name so that the league pages list the table.
void keepChampionship(Repository& repository, const std::string& name, const std::string& text);
std::vector<std::string> championshipNames(Repository& repository);
std::string championshipText(Repository& repository, const std::string& name);
