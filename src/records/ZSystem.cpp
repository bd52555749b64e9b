#include "records/ZSystem.h"

#include <unistd.h>

#include <cstdio>

ZSystem::ZSystem() {
    char path[1025] = {};
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        programFolder = "..";
        return;
    }
    std::string full(path, size_t(n));
    size_t cut = full.find_last_of("/\\");
    programFolder = cut == std::string::npos ? ".." : full.substr(0, cut);
}

void ZSystem::initHighPerformanceTimer() {
    std::printf("Init high performance timer...\n");
    // The monotonic clock counts nanoseconds.
    const uint64_t frequency = 1000000000ull;
    ticksPerMs = uint32_t(frequency / 1000);
    ticksPerUs = uint32_t(frequency / 1000000);
}
