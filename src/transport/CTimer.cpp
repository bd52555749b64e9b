#include "transport/CTimer.h"

#include <cstdio>
#include <cstdlib>

std::string CTimer::formatTime(int32_t t) {
    // The value passes through a single-precision float on its way to the text, as the clients'
    // own formatter does; above about 4 h 40 min the nearest float is shown.
    int64_t magnitude = t < 0 ? -int64_t(t) : int64_t(t);
    int64_t m = int64_t(static_cast<float>(magnitude));
    int64_t minutes = m / 60000;
    int64_t seconds = (m % 60000) / 1000;
    int64_t millis = (m % 60000) % 1000;
    char buf[50];
    if (t >= 0) {
        std::snprintf(buf, sizeof buf, "%d:%02d:%03d", int(minutes), int(seconds), int(millis));
    } else {
        std::snprintf(buf, sizeof buf, "-%d:%02d:%03d", int(minutes), int(seconds), int(millis));
    }
    return buf;
}
