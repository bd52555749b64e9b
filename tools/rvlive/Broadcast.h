#pragma once
// The stream of one page (an event's or the index): numbered updates, each the whole state plus
// the feed items new since the one before, held back by the broadcast delay and then kept in a
// ring of the latest ones. A viewer that comes back with the id it last saw gets exactly the
// updates it missed while they are still held, otherwise a snapshot; a viewer that falls behind
// the whole ring is dropped rather than holding anything up. Each update is written out once and
// shared by every viewer.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace live {

class Broadcast {
  public:
    using Clock = std::function<int64_t()>;  // ms
    using Text = std::shared_ptr<const std::string>;

    // `ring` updates are kept for viewers that come back; a snapshot carries the last
    // `feedKept` feed items.
    Broadcast(Clock clock, int64_t delayMs, size_t ring = 256, size_t feedKept = 60);

    // Viewers see this update `delayMs` after the call; `reset` tells them to forget the feed.
    void publish(nlohmann::ordered_json state, nlohmann::ordered_json feed, bool reset = false);
    // Hands on the updates whose delay is over; the owner calls it every turn.
    void release();

    // On (re)connect, with the Last-Event-ID the viewer sent ("" for none): what it missed, or a
    // snapshot. `at` is then where the viewer stands.
    std::vector<Text> catchUp(const std::string& lastEventId, uint64_t& at) const;
    // For a connected viewer at `at`: the updates after it (none yet: empty). False when they are
    // no longer all held: the viewer is too slow and is to be dropped.
    bool next(uint64_t& at, std::vector<Text>& out) const;
    // Waits until an update after `at` is out, `timeoutMs` passes or the stream is closed.
    void waitAfter(uint64_t at, int timeoutMs) const;
    void close();
    bool closed() const;

    // The state and the latest feed as viewers have them now (the polling scripts' view).
    nlohmann::ordered_json latest() const;
    uint64_t lastId() const;

  private:
    struct Pending {
        int64_t readAt;
        nlohmann::ordered_json state, feed;
        bool reset;
    };
    Text snapshotLocked() const;
    std::string idText(uint64_t n) const;

    const Clock clock_;
    const int64_t delayMs_;
    const size_t ring_, feedKept_;
    const std::string run_;  // tells this run's ids from those of an earlier rvlive

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Pending> pending_;
    std::deque<Text> held_;  // updates lastId_ - held_.size() + 1 ... lastId_
    uint64_t lastId_ = 0;
    nlohmann::ordered_json state_;
    std::deque<nlohmann::ordered_json> feed_;
    int64_t readAt_ = 0;
    mutable Text snapshot_;
    mutable uint64_t snapshotId_ = UINT64_MAX;
    bool closed_ = false;
};

}  // namespace live
