#include "platform/ZSystem.h"

#include <cstdio>

#include "platform/Platform.h"

ZSystem::ZSystem() : programFolder(folderOf(platform::programPath())) {}

std::string ZSystem::folderOf(const std::string& programPath) {
    // Paths written on the simulator's home platform use backslashes.
    const size_t cut = programPath.find_last_of("/\\");
    return cut == std::string::npos ? ".." : programPath.substr(0, cut);
}

void ZSystem::initHighPerformanceTimer() {
    std::printf("Init high performance timer...\n");
    // The monotonic clock counts nanoseconds.
    const uint64_t frequency = 1000000000ull;
    ticksPerMs = uint32_t(frequency / 1000);
    ticksPerUs = uint32_t(frequency / 1000000);
}
