#pragma once
// The server's two time sources, injected so that tests can step time exactly: the millisecond
// timer that server time is derived from, and the tick count that resend timing uses.

#include <cstdint>

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
