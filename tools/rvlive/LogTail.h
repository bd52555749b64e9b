#pragma once
// Follows the event log a running server is writing: the newest "rvserverlog[...].txt" of a
// folder, read from where the last look stopped. A line the server has not finished yet waits for
// the next look; a new log (the server restarted), a shortened one or a vanished folder start the
// reading over.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/EventFiles.h"

namespace live {

class LogTail {
  public:
    explicit LogTail(std::string folder) : folder_(std::move(folder)) {}

    struct News {
        bool restarted = false;  // what was read before no longer counts
        std::vector<LogEvent> events;
        // Wall-clock ms at server time 0 as this look bounds it from above: the file was last
        // written no earlier than its last line's stamp.
        std::optional<int64_t> origin;
        int skippedLines = 0;  // not event lines (hand edits, foreign text)
    };
    News poll();
    bool hasLog() const { return !path_.empty(); }

  private:
    static constexpr size_t kMaxReadBytes = 4 << 20;  // per look; the rest waits for the next
    static constexpr size_t kMaxLineBytes = 64 << 10;

    std::string folder_;
    std::string path_;
    uint64_t offset_ = 0;
    std::string partial_;
    int lineNumber_ = 0;
};

}  // namespace live
