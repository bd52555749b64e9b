#pragma once
// When a session ends. Each rule acts on "more than N ms", so the first turn that acts is one
// later; the main loop's wake-up planner reads these same numbers.

#include <cstdint>

// Practice and qualifying move on this long after their time is up ("IS OVER" comes first).
constexpr int64_t kAdvanceAfterOvertimeMs = 10000;
// A qualifying lap begun in time may still count: this long, or 110 % of the best lap so far.
constexpr int64_t kQualifyingGraceMs = 120000;
class CRVServer;
// How long past its time a qualifying waits for laps begun in time: kQualifyingGraceMs, or 110 %
// of the best lap so far once there is one.
int64_t qualifyingGraceMs(const CRVServer& server);
// A won race waits this long for the others to finish.
constexpr int64_t kRaceEndAfterWinMs = 120000;
