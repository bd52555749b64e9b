#pragma once
// Readers for what a server leaves in its working directory after an event: the session results
// files (server/sessions/) and the event log (server/logs/). Both refuse cut-off or hand-edited
// files with a one-line reason rather than guessing.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct ResultLine {
    std::string guid;
    int32_t bestLap = 0;     // ms, 0 = none
    int32_t qualifyLap = 0;  // ms, 0 = none
    int32_t laps = 0;
    int32_t raceTime = 0;  // ms
};

struct ResultsFile {
    std::string file;  // name without folder
    std::string name;
    int type = 0;
    std::vector<ResultLine> standings;  // in the server's standings order
};

// Returns false with `error` set when the file cannot be read or is not a whole results file.
bool readResultsFile(const std::string& path, ResultsFile& out, std::string& error);

struct LogEvent {
    int lineNumber = 0;
    std::string time;  // server time text as written
    std::string kind;  // "JOIN", "LAP", ...
    std::vector<std::string> fields;
};

// `allowPartialLastLine` serves a log that a running server is still writing.
bool readEventLog(const std::string& path, std::vector<LogEvent>& out, std::string& error,
                  bool allowPartialLastLine = false);

// One line of a log (without its line end, a trailing CR allowed); false when it is not an event
// line. `out.lineNumber` is left to the caller. Followers of a growing log read line by line.
bool readEventLine(std::string line, LogEvent& out);
// The same readers over a file's text already in memory; `file` names it in the errors.
bool parseResultsFile(const std::string& file, const std::string& text, ResultsFile& out,
                      std::string& error);
bool parseEventLog(const std::string& file, const std::string& text, std::vector<LogEvent>& out,
                   std::string& error, bool allowPartialLastLine = false);

// The newest "rvserverlog[...].txt" in `folder`, or "" when there is none.
std::string newestEventLog(const std::string& folder);

// Milliseconds of a log line's server time text ("%d:%02d:%03d", "-" once the clock wrapped).
int64_t serverTimeMs(const std::string& timeText);

// The log's sessions: each SESSION line opens one, up to the next.
struct LoggedSession {
    const LogEvent* opening = nullptr;  // the SESSION line
    std::string name;
    int type = 0;
    int32_t maxLaps = 0, raceLaps = 0, sessionMs = 0;
    std::vector<const LogEvent*> events;  // the lines after the opening, up to the next SESSION
    bool ended = false;                   // another SESSION line follows
};
// Points into `log`, which must outlive the result.
std::vector<LoggedSession> loggedSessions(const std::vector<LogEvent>& log);

// A results file the race reset wrote: every client with no laps and no best lap.
bool zeroedResults(const ResultsFile& file);

// One session's final results: the file the server saved for it, or, where the race reset left a
// file of zeroed laps (LOOP) or a later save of the same name replaced it, the laps, best laps,
// finishers and order the event log tells.
struct SessionOutcome {
    const LoggedSession* logged = nullptr;  // none when the file matches no session of the log
    const ResultsFile* file = nullptr;      // none when no file of the session is left
    bool fromLog = false;
    int type = 0;
    std::vector<ResultLine> standings;  // in the session's order
    std::set<std::string> finishers;    // guids that took the finish of a won race
};
// Files are matched to the log's sessions of the same name in the order both were written; a
// zeroed file that matches no session is the reset's rewrite of an earlier one and is left out.
// Points into `files` and `logged`.
std::vector<SessionOutcome> sessionOutcomes(const std::vector<ResultsFile>& files,
                                            const std::vector<LoggedSession>& logged);

// "+1 lap", "+0:01:250" or "" (leader, or no time to compare), as the league publishes gaps.
std::string gapText(const ResultLine& leader, const ResultLine& row, int type);
