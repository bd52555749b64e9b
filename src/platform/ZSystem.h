#pragma once

#include <cstdint>
#include <string>

// System services: the program folder and the high-performance timer set-up. The frequencies
// are worked out because the set-up prints its line; nothing reads them.
class ZSystem {
  public:
    ZSystem();
    virtual ~ZSystem() = default;
    void initHighPerformanceTimer();
    // What comes before the last slash or backslash of the program's path; ".." without one.
    static std::string folderOf(const std::string& programPath);

    std::string programFolder;
    uint32_t ticksPerMs = 0;
    uint32_t ticksPerUs = 0;
};
