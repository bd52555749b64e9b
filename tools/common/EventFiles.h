#pragma once
// Readers for what a server leaves in its working directory after an event: the session results
// files (server/sessions/) and the event log (server/logs/). Both refuse cut-off or hand-edited
// files with a one-line reason rather than guessing.

#include <cstdint>
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

// The same readers over a file's text already in memory; `file` names it in the errors.
bool parseResultsFile(const std::string& file, const std::string& text, ResultsFile& out,
                      std::string& error);
bool parseEventLog(const std::string& file, const std::string& text, std::vector<LogEvent>& out,
                   std::string& error, bool allowPartialLastLine = false);

// The newest "rvserverlog[...].txt" in `folder`, or "" when there is none.
std::string newestEventLog(const std::string& folder);
