#include "rvlive/Broadcast.h"

#include <charconv>
#include <random>

using nlohmann::ordered_json;

namespace live {

namespace {

std::string dump(const ordered_json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

Broadcast::Broadcast(Clock clock, int64_t delayMs, size_t ring, size_t feedKept)
    : clock_(std::move(clock)),
      delayMs_(delayMs),
      ring_(ring),
      feedKept_(feedKept),
      run_(std::to_string(std::random_device{}() % 1000000)) {}

std::string Broadcast::idText(uint64_t n) const {
    return run_ + "-" + std::to_string(n);
}

void Broadcast::publish(ordered_json state, ordered_json feed, bool reset) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({clock_(), std::move(state), std::move(feed), reset});
    }
    release();
}

void Broadcast::release() {
    std::lock_guard lock(mutex_);
    const int64_t now = clock_();
    bool any = false;
    while (!pending_.empty() && pending_.front().readAt + delayMs_ <= now) {
        Pending p = std::move(pending_.front());
        pending_.pop_front();
        ++lastId_;
        if (p.reset)
            feed_.clear();
        for (const auto& item : p.feed)
            feed_.push_back(item);
        while (feed_.size() > feedKept_)
            feed_.pop_front();
        state_ = p.state;
        readAt_ = p.readAt;
        const ordered_json data = {{"id", idText(lastId_)},
                                   {"readAt", p.readAt},
                                   {"reset", p.reset},
                                   {"state", std::move(p.state)},
                                   {"feed", std::move(p.feed)}};
        held_.push_back(std::make_shared<const std::string>("id: " + idText(lastId_) +
                                                            "\ndata: " + dump(data) + "\n\n"));
        if (held_.size() > ring_)
            held_.pop_front();
        any = true;
    }
    if (any)
        changed_.notify_all();
}

Broadcast::Text Broadcast::snapshotLocked() const {
    if (snapshotId_ != lastId_) {
        ordered_json feed = ordered_json::array();
        for (const auto& item : feed_)
            feed.push_back(item);
        const ordered_json data = {{"id", idText(lastId_)},
                                   {"readAt", readAt_},
                                   {"reset", true},
                                   {"state", state_},
                                   {"feed", feed}};
        snapshot_ = std::make_shared<const std::string>(
            "id: " + idText(lastId_) + "\nevent: snapshot\ndata: " + dump(data) + "\n\n");
        snapshotId_ = lastId_;
    }
    return snapshot_;
}

std::vector<Broadcast::Text> Broadcast::catchUp(const std::string& lastEventId,
                                                uint64_t& at) const {
    std::lock_guard lock(mutex_);
    at = lastId_;
    const size_t dash = lastEventId.rfind('-');
    uint64_t seen = 0;
    const bool ours = dash != std::string::npos && lastEventId.substr(0, dash) == run_ &&
                      std::from_chars(lastEventId.data() + dash + 1,
                                      lastEventId.data() + lastEventId.size(), seen)
                              .ec == std::errc();
    const uint64_t oldestHeld = lastId_ - held_.size() + 1;
    if (ours && seen <= lastId_ && seen + 1 >= oldestHeld)
        return {held_.begin() + std::ptrdiff_t(seen + 1 - oldestHeld), held_.end()};
    return {snapshotLocked()};
}

bool Broadcast::next(uint64_t& at, std::vector<Text>& out) const {
    std::lock_guard lock(mutex_);
    out.clear();
    if (at == lastId_)
        return true;
    const uint64_t oldestHeld = lastId_ - held_.size() + 1;
    if (at + 1 < oldestHeld)
        return false;
    out.assign(held_.begin() + std::ptrdiff_t(at + 1 - oldestHeld), held_.end());
    at = lastId_;
    return true;
}

void Broadcast::waitAfter(uint64_t at, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return closed_ || lastId_ != at; });
}

void Broadcast::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

bool Broadcast::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

ordered_json Broadcast::latest() const {
    std::lock_guard lock(mutex_);
    ordered_json feed = ordered_json::array();
    for (const auto& item : feed_)
        feed.push_back(item);
    return {{"id", idText(lastId_)}, {"readAt", readAt_}, {"state", state_}, {"feed", feed}};
}

uint64_t Broadcast::lastId() const {
    std::lock_guard lock(mutex_);
    return lastId_;
}

}  // namespace live
