#pragma once

#include <cstdint>

// One configured session (practice, qualifying or race) and its run-time state.
struct SessionRecord {
    static constexpr int kNameSize = 70;

    uint8_t tag = 'O';
    uint8_t type = 0;  // 0 practice, 1 qualifying, 2 race
    int32_t waitTime = 0;
    uint8_t minLaps = 0;
    uint8_t maxLaps = 0;
    uint8_t raceLaps = 0;
    uint8_t escMode = 0;
    int32_t sessionTime = 0;
    uint8_t acceptNew = 0;
    uint8_t started = 0;
    char name[kNameSize] = {};
    uint64_t startTime = 0;
    uint8_t overAnnounced = 0;
};

enum SessionType : uint8_t { kPractice = 0, kQualifying = 1, kRace = 2 };

// The name the tools, exports and pages show for a session type; `otherwise` for a number that
// is none of the three.
constexpr const char* sessionTypeName(int type, const char* otherwise = "unknown") {
    return type == kPractice     ? "practice"
           : type == kQualifying ? "qualifying"
           : type == kRace       ? "race"
                                 : otherwise;
}
