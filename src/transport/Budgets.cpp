#include "transport/Budgets.h"

#include <cstdio>

bool TokenBucket::take(int64_t nowMs) {
    if (last_ != INT64_MIN && nowMs > last_) {
        tokens_ += double(nowMs - last_) * rate_ / 1000.0;
        if (tokens_ > burst_)
            tokens_ = burst_;
    }
    if (last_ == INT64_MIN || nowMs > last_)
        last_ = nowMs;
    if (tokens_ < 1.0)
        return false;
    tokens_ -= 1.0;
    return true;
}

bool AddressBudget::take(uint32_t address, int64_t nowMs) {
    auto found = sources_.find(address);
    if (found == sources_.end()) {
        if (sources_.size() >= kMaxAddresses) {
            // Anyone idle long enough to have refilled is as good as new.
            const int64_t refill = int64_t(burst_ / perSecond_ * 1000.0) + 1;
            std::erase_if(sources_,
                          [&](const auto& s) { return nowMs - s.second.lastUse > refill; });
            if (sources_.size() >= kMaxAddresses)
                sources_.clear();
        }
        found = sources_.emplace(address, Entry{TokenBucket(perSecond_, burst_), nowMs}).first;
    }
    found->second.lastUse = nowMs;
    // The sender's own budget first, so a flood from one address spends none of the total.
    return found->second.bucket.take(nowMs) && total_.take(nowMs);
}

void DropReport::count(int64_t nowMs, const std::string& about) {
    ++pending_;
    ++total_;
    if (lastReport_ != INT64_MIN && nowMs - lastReport_ < 1000)
        return;
    std::printf("%llu %s%s\n", static_cast<unsigned long long>(pending_), what_.c_str(),
                about.c_str());
    pending_ = 0;
    lastReport_ = nowMs;
}
