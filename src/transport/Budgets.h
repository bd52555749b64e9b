#pragma once
// Budgets that keep one sender from taking the server from everyone: token buckets on the
// server's own clock, per source address with a shared total, and a console report of what was
// dropped that speaks at most once a second.

#include <cstdint>
#include <string>
#include <unordered_map>

// Refills at `perSecond` up to `burst` tokens; starts full.
class TokenBucket {
  public:
    TokenBucket(double perSecond, double burst) : rate_(perSecond), burst_(burst), tokens_(burst) {}
    // Takes one token at `nowMs` if there is one.
    bool take(int64_t nowMs);

  private:
    double rate_;
    double burst_;
    double tokens_;
    int64_t last_ = INT64_MIN;
};

// One bucket per source address (the port does not matter: a sender has as many as it likes)
// and one for all of them together.
class AddressBudget {
  public:
    AddressBudget(double perSecond, double burst, double totalPerSecond, double totalBurst)
        : perSecond_(perSecond), burst_(burst), total_(totalPerSecond, totalBurst) {}
    bool take(uint32_t address, int64_t nowMs);
    // Addresses remembered at most; a flood from forged addresses then forgets the idle ones,
    // and the shared bucket still holds the total.
    static constexpr size_t kMaxAddresses = 4096;
    size_t addresses() const { return sources_.size(); }

  private:
    struct Entry {
        TokenBucket bucket;
        int64_t lastUse;
    };
    double perSecond_;
    double burst_;
    TokenBucket total_;
    std::unordered_map<uint32_t, Entry> sources_;
};

// Counts dropped items and prints "<count> <what><about>" at most once a second.
class DropReport {
  public:
    explicit DropReport(std::string what) : what_(std::move(what)) {}
    void count(int64_t nowMs, const std::string& about = "");
    uint64_t total() const { return total_; }

  private:
    std::string what_;
    uint64_t pending_ = 0;
    uint64_t total_ = 0;
    int64_t lastReport_ = INT64_MIN;
};
