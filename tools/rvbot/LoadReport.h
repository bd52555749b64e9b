#pragma once
// What a run of simulated drivers measured over its window: how often each client got its
// combined car-state packet, how evenly, how long an update took to reach the other clients,
// and any packet whose size does not match the number of connected clients.

#include <cstdint>
#include <string>
#include <vector>

struct Distribution {
    size_t count = 0;
    double p50 = 0;
    double p99 = 0;
    double max = 0;
};

// Nearest-rank percentiles; all zero for no samples.
Distribution distributionOf(std::vector<double> samples);

struct LoadReport {
    int drivers = 0;
    int spectators = 0;
    int admitted = 0;
    std::string failure;  // why not every client got in; empty when all did
    double windowSeconds = 0;
    uint64_t megapackets = 0;
    double packetsPerClientPerSecond = 0;
    Distribution interArrivalMs;
    Distribution latencyMs;  // update sent -> first relay of it received
    uint64_t badSizes = 0;
    int expectedSize = 0;

    std::string text() const;
    std::string json() const;
};

// Collects the raw samples of one window.
struct LoadSamples {
    std::vector<double> interArrivalMs;
    std::vector<double> latencyMs;
    uint64_t megapackets = 0;
    uint64_t badSizes = 0;
};

LoadReport summarize(const LoadSamples& samples, int clients, double windowSeconds);
