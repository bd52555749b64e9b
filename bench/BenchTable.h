#pragma once
// One benchmark run: per driver count, the server's and the reference relay's figures over the
// same load, as a text table and as a plot of CPU and p99 latency against drivers.

#include <string>
#include <vector>

#include "rvbot/LoadReport.h"

struct Measured {
    LoadReport load;
    double cpuPercent = 0;
    double wakeUpsPerSecond = 0;
    long rssKiB = 0;
    long rssGrowthKiB = 0;
};

struct BenchRow {
    int drivers = 0;
    Measured server;
    Measured relay;
    // The relay woken every 60 ms and moving datagrams in batches: the kernel's share alone.
    Measured floor;
};

std::string benchTable(const std::vector<BenchRow>& rows, const std::string& heading);
std::string benchPlot(const std::vector<BenchRow>& rows, const std::string& title);

// The host run: several events of 32 drivers at once on one host.
struct HostRow {
    int events = 0;
    std::vector<Measured> each;
};

std::string hostHeading();
std::string hostTable(const std::vector<HostRow>& rows, const std::string& heading);
