#pragma once
// One event on the host: its folder and configuration, the log it follows, the page state folded
// from it, the server's status answers, and the stream its viewers read.

#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "common/Asker.h"
#include "platform/SocketAddress.h"
#include "rvlive/Broadcast.h"
#include "rvlive/EventFolders.h"
#include "rvlive/EventModel.h"
#include "rvlive/LogTail.h"

namespace live {

struct LiveOptions {
    int64_t delayMs = 0;
    bool chat = false;
    std::string server;  // HOST:PORT of the server when given; else the configuration's port
};

class LiveEvent {
  public:
    LiveEvent(std::string id, EventFolder folder, const LiveOptions& options,
              Broadcast::Clock clock);

    const std::string& id() const { return id_; }
    const EventFolder& folder() const { return folder_; }
    // One turn: reads what the log gained, folds it and publishes when the page changed.
    void update();
    // Asks the server for its status, waiting at most `waitMs`; the status thread calls it.
    void askStatus(tool::Asker& asker, int waitMs);
    // The index's line for this event, as viewers have it (delayed like the event's page).
    nlohmann::ordered_json summary() const;
    Broadcast& stream() { return stream_; }
    // The folder is gone: the stream ends for its viewers.
    void close() { stream_.close(); }

  private:
    void readConfiguration();
    nlohmann::ordered_json eventJson() const;

    const std::string id_;
    const EventFolder folder_;
    const LiveOptions options_;
    LogTail tail_;
    EventModel model_;
    Broadcast stream_;
    std::optional<int64_t> origin_;
    std::string published_;  // the last published page, to publish only changes

    bool configured_ = false;  // only the turns look at it

    // The configuration and the status answers: the status thread and the turns share them.
    mutable std::mutex statusMutex_;
    std::string name_, track_;
    int maxClients_ = 0;
    SocketAddress server_{};
    bool serverKnown_ = false;
    bool answering_ = false;
    int clients_ = 0;
    int access_ =
        0;  // as the status reply gives it: 0 closed (a draining event), 1 open, 2 password
};

}  // namespace live
