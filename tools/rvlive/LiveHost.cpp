#include "rvlive/LiveHost.h"

#include <algorithm>
#include <set>

using nlohmann::ordered_json;

namespace live {

LiveHost::LiveHost(std::vector<std::string> dirs, std::vector<std::string> instanceParents,
                   LiveOptions options, Broadcast::Clock clock)
    : dirs_(std::move(dirs)),
      instanceParents_(std::move(instanceParents)),
      options_(std::move(options)),
      clock_(clock),
      // The lines come from what the events have already released: delayed once, not twice.
      index_(clock, 0) {
    rescan();
}

void LiveHost::rescan() {
    const std::vector<EventFolder> found = findEventFolders(dirs_, instanceParents_);
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<LiveEvent>> kept;
    std::set<std::string> ids;
    for (auto& event : events_) {
        const bool still = std::any_of(found.begin(), found.end(), [&](const EventFolder& f) {
            return f.root == event->folder().root;
        });
        if (still) {
            ids.insert(event->id());
            kept.push_back(event);
        } else {
            event->close();
        }
    }
    for (const EventFolder& f : found) {
        const bool known = std::any_of(kept.begin(), kept.end(),
                                       [&](const auto& e) { return e->folder().root == f.root; });
        if (known)
            continue;
        const std::string id = eventId(f.root, ids);
        ids.insert(id);
        kept.push_back(std::make_shared<LiveEvent>(id, f, options_, clock_));
    }
    // The index lists the events in the order they were named and found.
    std::stable_sort(kept.begin(), kept.end(), [&](const auto& a, const auto& b) {
        auto at = [&](const auto& e) {
            return std::find_if(found.begin(), found.end(),
                                [&](const EventFolder& f) { return f.root == e->folder().root; }) -
                   found.begin();
        };
        return at(a) < at(b);
    });
    events_ = std::move(kept);
}

void LiveHost::update() {
    ordered_json lines = ordered_json::array();
    for (const auto& event : events()) {
        event->update();
        lines.push_back(event->summary());
    }
    ordered_json state = {{"events", lines}};
    std::string text = state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (text != published_) {
        published_ = std::move(text);
        index_.publish(std::move(state), ordered_json::array());
    } else {
        index_.release();
    }
}

void LiveHost::askStatuses(tool::Asker& asker, int waitMs) {
    for (const auto& event : events())
        event->askStatus(asker, waitMs);
}

std::shared_ptr<LiveEvent> LiveHost::find(const std::string& id) const {
    std::lock_guard lock(mutex_);
    for (const auto& e : events_)
        if (e->id() == id)
            return e;
    return nullptr;
}

std::vector<std::shared_ptr<LiveEvent>> LiveHost::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void LiveHost::close() {
    index_.close();
    for (const auto& e : events())
        e->close();
}

}  // namespace live
