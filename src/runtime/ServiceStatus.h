#pragma once
// What the service manager hears of the event: ready once the port is bound and the first
// session has begun, one status line when it changes (at most once a second), a watchdog beat
// at half the manager's interval while the main loop turns, and the stop.

#include <cstdint>
#include <string>

#include "platform/ServiceNotify.h"

class CRVServer;

class ServiceStatus {
  public:
    static constexpr int64_t kStatusEveryMs = 1000;

    void ready();
    // One main-loop turn at server time `now`.
    void turn(const CRVServer& server, int64_t now);
    void stopping();
    // The server time of the next watchdog beat, for the loop's rest; far ahead without one.
    int64_t nextBeatAt() const;
    bool active() const { return notify_.active(); }

  private:
    platform::ServiceNotify notify_;
    std::string lastStatus_;
    int64_t lastStatusAt_ = -kStatusEveryMs;
    int64_t lastBeatAt_ = 0;
};

// One line of what the event is doing: "Race, lap 3 of 5, 12 of 16 drivers",
// "Practice, 4 min left, 3 drivers".
std::string serviceStatusLine(const CRVServer& server);
