#pragma once
// The statistics file: the router's traffic counters written into "serverStats.txt" every ten
// seconds of server time, then started afresh. A disk that refused writes adds the count of its
// failures so far to each report.

#include <cstdint>
#include <string>

#include "records/AppendFile.h"
#include "transport/RoutedPeer.h"

class ServerStatistics {
  public:
    // Files the disk refused are counted from `faults` (given: its own failures too).
    ServerStatistics(TrafficCounters& traffic, const std::string& path, platform::Files& files,
                     WriteFaults* faults);
    virtual ~ServerStatistics() = default;
    ServerStatistics(const ServerStatistics&) = delete;
    ServerStatistics& operator=(const ServerStatistics&) = delete;

    // Reports and resets the counters once `interval` ms of server time have passed.
    void update(int64_t now);
    void flush();

    int32_t interval = 10000;
    int32_t lastReport = 0;

  private:
    TrafficCounters& traffic_;
    WriteFaults* faults_;
    AppendFile file_;
};
