#pragma once
// The message of the day and the ban list as a server started in a working directory would
// take them.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "runtime/ServerConfig.h"

// The ban list's file, counts of active and expired bans, the active ones (the first
// kShownBans) and a warning for each section the server would ignore.
nlohmann::ordered_json banListOf(const std::string& root, const ServerConfig& config,
                                 std::vector<std::string>& warnings);
// The readable lines for the message of the day and the ban list of a report.
std::string describeBansAndMotd(const nlohmann::ordered_json& report);
