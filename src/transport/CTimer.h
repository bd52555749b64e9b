#pragma once

#include <cstdint>
#include <string>

// Lap-time text of the console, the event log and the result files: "%d:%02d:%03d".
class CTimer {
  public:
    virtual ~CTimer() = default;
    static std::string formatTime(int32_t milliseconds);
};
