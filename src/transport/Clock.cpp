#include "transport/Clock.h"

#include "platform/Platform.h"

uint32_t SystemClock::timeMs() {
    return platform::monotonicMs();
}
uint32_t SystemClock::tickCount() {
    return platform::monotonicMs();
}
