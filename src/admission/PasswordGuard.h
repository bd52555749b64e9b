#pragma once
// Wrong passwords (admin or join) per source address: a few typos cost nothing, a guesser is
// shut out for a cooling-off time that doubles with each further excess. While an address cools
// off its attempts are ignored, right or wrong, so a late hit tells the guesser nothing.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class PasswordGuard {
  public:
    static constexpr int kBudget = 5;  // wrong passwords per address in any minute
    static constexpr int64_t kWindowMs = 60000;
    static constexpr int64_t kFirstLockMs = 60000;
    static constexpr int64_t kLongestLockMs = 3600000;

    // False while `address` cools off; the ignored attempt is counted, and a console line says
    // how many were ignored at most once a minute per address.
    bool allowed(uint32_t address, int64_t nowMs);
    // A wrong password from `address`. Returns the length of the lock-out this starts, in
    // seconds, or 0.
    int failed(uint32_t address, int64_t nowMs);
    // Addresses remembered at most; idle, unlocked ones are forgotten first.
    static constexpr size_t kMaxSources = 4096;
    size_t sources() const { return sources_.size(); }

  private:
    // Makes room for one more address: idle, unlocked ones go first.
    void forgetForRoom(int64_t nowMs);

    struct Source {
        std::vector<int64_t> failures;  // times of the wrong passwords still in the window
        int64_t lockedUntil = 0;
        int locks = 0;
        int ignored = 0;
        int64_t lastSummary = INT64_MIN;
    };
    std::unordered_map<uint32_t, Source> sources_;
};
