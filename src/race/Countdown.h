#pragma once
// The countdown before a session starts: start points and the start time once a second, and a
// "seconds to go" line in chat every twenty.

#include <cstdint>

struct Countdown {
    static constexpr int64_t kTickEveryMs = 1000;
    static constexpr int64_t kChatEveryMs = 20000;
    // An operator or admin starting the session now still gives the drivers this long.
    static constexpr int64_t kCommandedStartDelayMs = 20000;

    // Server times of the last tick and "seconds to go" line, kept as 32-bit values and compared
    // after sign extension with the 64-bit server time.
    int32_t lastCountdownTick = 0;
    int32_t lastCountdownChat = 0;

    // A step acts on "more than N ms since", so the first turn that acts is one later.
    int64_t nextTickAt() const { return int64_t(lastCountdownTick) + kTickEveryMs + 1; }
    bool tickDue(int64_t now) const { return now >= nextTickAt(); }
    bool chatDue(int64_t now) const { return now - int64_t(lastCountdownChat) > kChatEveryMs; }
};
