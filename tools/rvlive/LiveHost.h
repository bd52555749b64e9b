#pragma once
// Every event a host serves, the index built from them, and the turns that keep them current.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rvlive/LiveEvent.h"

namespace live {

class LiveHost {
  public:
    LiveHost(std::vector<std::string> dirs, std::vector<std::string> instanceParents,
             LiveOptions options, Broadcast::Clock clock);

    // Looks for the event folders again: new instances join, vanished ones leave.
    void rescan();
    // One turn: every event reads its log; the index publishes when a line of it changed.
    void update();
    // Asks every event's server for its status, one after the other.
    void askStatuses(tool::Asker& asker, int waitMs);

    std::shared_ptr<LiveEvent> find(const std::string& id) const;
    std::vector<std::shared_ptr<LiveEvent>> events() const;
    Broadcast& index() { return index_; }
    // Ends every stream, so that no viewer's request outlasts the server.
    void close();

  private:
    const std::vector<std::string> dirs_, instanceParents_;
    const LiveOptions options_;
    const Broadcast::Clock clock_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<LiveEvent>> events_;
    Broadcast index_;
    std::string published_;
};

}  // namespace live
