#pragma once
// The server's two time sources, injected so that tests can step time exactly: the millisecond
// timer that server time is derived from, and the tick count that resend timing uses.

#include <cstdint>
#include <functional>

class ServerClock {
  public:
    virtual ~ServerClock() = default;
    virtual uint32_t timeMs() = 0;
    virtual uint32_t tickCount() = 0;
};

// Both sources read the monotonic clock of the host.
class SystemClock : public ServerClock {
  public:
    uint32_t timeMs() override;
    uint32_t tickCount() override;
};

// A clock that moves only when it is told to; both sources move together. Tests, fuzz targets and
// offline runs step time with it exactly.
class ManualClock : public ServerClock {
  public:
    explicit ManualClock(uint32_t start = 1000) : now_(start) {}
    uint32_t timeMs() override { return now_; }
    uint32_t tickCount() override { return now_; }
    uint32_t now() const { return now_; }
    void advance(uint32_t ms) { now_ += ms; }
    void set(uint32_t ms) { now_ = ms; }

  private:
    uint32_t now_;
};

// Server time in ms since start-up, as the server's turn last set it. Parts that stamp or time
// what they do are handed one of these rather than the server.
using ServerTimeSource = std::function<int64_t()>;
