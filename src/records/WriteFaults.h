#pragma once
// What the disk would not take. The server keeps hosting whatever the disk does; the operator
// gets one console line a minute per file, saying what was not written, and the statistics
// count every failure.

#include <cstdint>
#include <map>
#include <string>

#include "transport/Clock.h"

class WriteFaults {
  public:
    static constexpr int64_t kReportEveryMs = 60000;

    explicit WriteFaults(ServerTimeSource now = {}) : now_(std::move(now)) {}
    void setClock(ServerTimeSource now) { now_ = std::move(now); }

    // `file` could not be written because of `error` (an errno value); `bytes` of it are
    // waiting or lost now.
    void failed(const std::string& file, int error, uint64_t bytes);
    uint64_t total() const { return total_; }

  private:
    struct Quiet {
        int64_t lastLine = 0;
        uint64_t heldBack = 0;  // failures since the last line
        uint64_t bytes = 0;     // not written at the latest of them
    };
    // Files remembered at most; a server writes a few dozen names in a day.
    static constexpr size_t kMaxFiles = 256;

    ServerTimeSource now_;
    std::map<std::string, Quiet> files_;
    uint64_t total_ = 0;
};
