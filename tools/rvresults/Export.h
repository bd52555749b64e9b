#pragma once
// Results of an event as a league publishes them: one JSON document per session (standings
// with names, laps, best laps, race times and gaps, and the session's events from the log) and
// one static HTML page with a table per session.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/EventFiles.h"

// Each results file with the log events of the session it belongs to: the log's sessions of the
// same name are matched to the files in the order both were written.
std::vector<nlohmann::ordered_json> sessionDocuments(const std::vector<ResultsFile>& results,
                                                     const std::vector<LogEvent>& log);
// One line for a kick, ban, lifted ban or turned-away join: "0:12:345 KICK guid (address) by
// admin: reason".
std::string raceControlText(const nlohmann::ordered_json& event);
std::string htmlPage(const std::string& title, const std::vector<nlohmann::ordered_json>& sessions);
