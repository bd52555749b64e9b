// Any bytes as the files an event leaves behind, read the way rvresults (and the league's
// importer) reads them: the text up to the first zero byte as a session results file, the rest
// as an event log, and what both readers accept turned into the published documents and page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/EventFiles.h"
#include "rvresults/Export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string resultsText = input.substr(0, split);
    const std::string logText = split == std::string::npos ? "" : input.substr(split + 1);

    std::string error;
    ResultsFile results;
    const bool resultsRead = parseResultsFile("fuzz.ini", resultsText, results, error);
    // A file turned down always says why; one taken holds at most the clients a server has.
    if ((!resultsRead && error.empty()) || results.standings.size() > 255)
        std::abort();
    // A log still being written (as rvlive reads it) for inputs of odd length.
    std::vector<LogEvent> log;
    error.clear();
    const bool logRead = parseEventLog("fuzz.txt", logText, log, error, size % 2 == 1);
    if (!logRead && error.empty())
        std::abort();
    if (resultsRead && logRead) {
        const std::vector<nlohmann::ordered_json> documents = sessionDocuments({results}, log);
        for (const nlohmann::ordered_json& d : documents)
            (void)d.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        (void)htmlPage("Results", documents);
    }
    return 0;
}
