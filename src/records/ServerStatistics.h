#pragma once
// The statistics file: the router's traffic counters written into "serverStats.txt" every ten
// seconds of server time, then started afresh.

#include <cstdint>
#include <cstdio>
#include <string>

#include "transport/RoutedPeer.h"

class ServerStatistics {
  public:
    ServerStatistics(TrafficCounters& traffic, const std::string& path);
    virtual ~ServerStatistics();
    ServerStatistics(const ServerStatistics&) = delete;
    ServerStatistics& operator=(const ServerStatistics&) = delete;

    // Reports and resets the counters once `interval` ms of server time have passed.
    void update(int64_t now);
    void flush();

    int32_t interval = 10000;
    int32_t lastReport = 0;

  private:
    TrafficCounters& traffic_;
    std::FILE* file_ = nullptr;
};
