#pragma once
// What the current session has set so far: its best lap, whether and when the race was won, the
// leader's laps, and the last standings sent (a joiner gets a copy).

#include <cstdint>

#include "protocol/MessageTypes.h"

struct RaceState {
    static constexpr int32_t kNoSessionBest = 999999999;

    int32_t sessionBestLap = kNoSessionBest;
    int32_t sessionBestLapAux = 0;
    bool raceWon = false;
    int32_t leaderLaps = 0;
    uint32_t raceWonTime = 0;
    int32_t maxValidLaps = 0;
    uint8_t lastStandings[msgsize::kStandings] = {RV_STANDINGS, 0};

    // A new session starts with no best lap and no winner.
    void newSession() {
        sessionBestLap = kNoSessionBest;
        raceWon = false;
        leaderLaps = 0;
        raceWonTime = 0;
    }
};
