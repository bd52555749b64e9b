#include "admission/PasswordGuard.h"

#include <algorithm>
#include <cstdio>

#include "platform/SocketAddress.h"

bool PasswordGuard::allowed(uint32_t address, int64_t nowMs) {
    auto found = sources_.find(address);
    if (found == sources_.end())
        return true;
    Source& s = found->second;
    const bool coolingOff = nowMs < s.lockedUntil;
    if (coolingOff)
        ++s.ignored;
    // The last tally of a lock-out is told when it ends.
    const bool tell = coolingOff ? s.lastSummary == INT64_MIN || nowMs - s.lastSummary >= kWindowMs
                                 : s.ignored > 0;
    if (tell) {
        std::printf("%d password attempts from %s ignored (cooling off)\n", s.ignored,
                    SocketAddress::fromHost(address, 0).dotted().c_str());
        s.ignored = 0;
        s.lastSummary = nowMs;
    }
    return !coolingOff;
}

int PasswordGuard::failed(uint32_t address, int64_t nowMs) {
    if (sources_.size() >= kMaxSources && !sources_.contains(address))
        forgetForRoom(nowMs);
    Source& s = sources_[address];
    std::erase_if(s.failures, [&](int64_t t) { return nowMs - t >= kWindowMs; });
    s.failures.push_back(nowMs);
    if (int(s.failures.size()) <= kBudget)
        return 0;
    int64_t lock = kFirstLockMs;
    for (int i = 0; i < s.locks && lock < kLongestLockMs; ++i)
        lock *= 2;
    lock = std::min(lock, kLongestLockMs);
    ++s.locks;
    s.failures.clear();
    s.lockedUntil = nowMs + lock;
    s.lastSummary = INT64_MIN;
    return int(lock / 1000);
}

void PasswordGuard::forgetForRoom(int64_t nowMs) {
    auto unlocked = [&](const auto& entry) { return nowMs >= entry.second.lockedUntil; };
    std::erase_if(sources_, [&](const auto& entry) {
        const Source& s = entry.second;
        return unlocked(entry) && (s.failures.empty() || nowMs - s.failures.back() > kWindowMs);
    });
    // Guesses from ever new addresses faster than the window forgets them: a few wrong passwords
    // of each are forgotten rather than let the table grow, and with every address cooling off,
    // the one whose lock-out ends first.
    if (sources_.size() >= kMaxSources)
        std::erase_if(sources_, unlocked);
    if (sources_.size() >= kMaxSources)
        sources_.erase(
            std::min_element(sources_.begin(), sources_.end(), [](const auto& a, const auto& b) {
                return a.second.lockedUntil < b.second.lockedUntil;
            }));
}
