#pragma once
// A long event run at full speed: the server's own code, offline, on a virtual clock, fed by an
// EnduranceEvent. At the end everyone signs off and the run checks what a weekend of hosting
// must not have changed: resident memory, the length of every list the server keeps, and the
// results files it wrote.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rvendurance/EnduranceEvent.h"

struct EnduranceOptions {
    std::string folder;  // the working folder, made afresh
    double hours = 24;
    EnduranceCast cast{};
};

struct EnduranceFigures {
    double simulatedHours = 0;
    double wallSeconds = 0;
    uint64_t turns = 0;
    int sessionsStarted = 0;  // SESSION lines in the event log
    int resultsFiles = 0;
    int64_t firstHourResidentKiB = 0;  // after the first hour (or half the run, when shorter)
    int64_t endResidentKiB = 0;
    EnduranceCounts counts{};
    std::vector<std::string> failures;  // one line each; empty when every check held
};

// Every list the server keeps and how long it may be once everyone has left; "" when all hold,
// otherwise one line per list that does not.
class CRVServer;
std::vector<std::string> listsOverBound(const CRVServer& server);

// `progress` is called after each simulated hour.
EnduranceFigures runEndurance(const EnduranceOptions& options,
                              const std::function<void(const EnduranceFigures&)>& progress = {});
