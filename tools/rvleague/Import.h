#pragma once
// Reads a server's working folder (results files under server/sessions/, event logs under
// server/logs/, the configuration and content for the fingerprint) into events, and stores an
// event in the league whole or not at all.

#include <cstdint>
#include <string>
#include <vector>

#include "common/EventFiles.h"
#include "rvleague/Repository.h"

struct ImportedLap {
    std::string guid;
    int lapNumber = 0;
    int32_t lapMs = 0, splitMs = 0;
    bool valid = true;
    int logLine = 0;
};

struct ImportedResult {
    ResultLine line;
    std::string gap;
    bool finished = false;
    int infractions = 0, penalties = 0;
};

struct ImportedSession {
    int ordinal = 0;  // among the log's SESSION lines
    std::string name;
    int type = 0;
    int raceLaps = 0;
    int64_t sessionMs = 0;
    std::string startedAt, endedAt;
    std::string resultsFile;  // "" when the results come from the log alone
    bool fromLog = false;
    std::vector<ImportedResult> results;  // in finishing order
    std::vector<ImportedLap> laps;
};

struct ImportedDriver {
    std::string guid, name, team;
};

// KICK, BAN, UNBAN and BANNED lines.
struct ImportedIncident {
    int logLine = 0;
    int64_t atMs = 0;
    std::string kind, subject, address, admin, reason;
    int minutes = -1;  // BAN only
};

struct ImportedEvent {
    std::string serverName, track, configuration, car, fingerprint;
    std::string startedAt;  // "YYYY-MM-DD HH:MM:SS", the server's local time
    std::string folder, logFile;
    std::vector<ImportedDriver> drivers;
    std::vector<ImportedSession> sessions;
    std::vector<ImportedIncident> incidents;
};

struct ImportOptions {
    // A running server's folder: the log may end in a partial line, and a session counts only
    // once the log has moved past it or its results file has stood for settleSeconds (the log
    // reaches the disk up to a second after the file).
    bool running = false;
    int settleSeconds = 3;
};

// One event per event log of `folder`. False with `error` ("FILE line N: why") when a file is
// cut off or not the server's.
bool readFolder(const std::string& folder, const ImportOptions& options,
                std::vector<ImportedEvent>& out, std::string& error);

struct StoreCount {
    int events = 0, sessions = 0, laps = 0;
};
// Adds the event's sessions that the league does not hold yet, in one transaction.
StoreCount storeEvent(Repository& repository, const ImportedEvent& event);
