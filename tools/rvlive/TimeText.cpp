#include "rvlive/TimeText.h"

#include <charconv>
#include <cstdio>

namespace live {

int64_t stampMs(const std::string& t) {
    int m = 0, s = 0, ms = 0;
    const bool negative = !t.empty() && t[0] == '-';
    const char* p = t.data() + (negative ? 1 : 0);
    const char* end = t.data() + t.size();
    p = std::from_chars(p, end, m).ptr;
    p = std::from_chars(p < end ? p + 1 : p, end, s).ptr;
    std::from_chars(p < end ? p + 1 : p, end, ms);
    const int64_t v = int64_t(m) * 60000 + int64_t(s) * 1000 + ms;
    return negative ? -v : v;
}

std::string lapText(int64_t ms) {
    if (ms <= 0)
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string gapText(int64_t ms) {
    if (ms < 0)
        ms = 0;
    char text[32];
    if (ms < 60000)
        std::snprintf(text, sizeof text, "+%lld.%03lld", static_cast<long long>(ms / 1000),
                      static_cast<long long>(ms % 1000));
    else
        return "+" + lapText(ms);
    return text;
}

std::string lapsBehindText(int laps) {
    return "+" + std::to_string(laps) + " L";
}

}  // namespace live
