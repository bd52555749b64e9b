#pragma once

#include <cstdint>

#include "transport/Clock.h"

// A clock that moves only when the test says so; both time sources move together.
class FakeClock : public ServerClock {
  public:
    explicit FakeClock(uint32_t start = 1000) : now_(start) {}
    uint32_t timeMs() override { return now_; }
    uint32_t tickCount() override { return now_; }
    void advance(uint32_t ms) { now_ += ms; }
    void set(uint32_t ms) { now_ = ms; }

  private:
    uint32_t now_;
};
