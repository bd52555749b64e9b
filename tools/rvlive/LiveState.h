#pragma once
// What the live page shows, taken from the event log a running server is writing: the current
// session, its standings with last and best lap, gaps and laps, and the latest events.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/EventFiles.h"

// `events` is the whole log so far; `statusText` the server's own countdown or time-left text
// from a status query ("" when it did not answer).
nlohmann::ordered_json liveState(const std::vector<LogEvent>& events,
                                 const std::string& statusText);

// The page: it asks for /live.json every second and redraws without a reload.
extern const char kLivePage[];
