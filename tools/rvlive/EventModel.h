#pragma once
// What one event's live page shows, folded line by line from the event log the server is
// writing: the current session with its configured times, its timing table (or, until the next
// session starts, the final table of the one before), and the race-control feed.

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "common/EventFiles.h"
#include "rvlive/SessionTable.h"

namespace live {

class EventModel {
  public:
    explicit EventModel(bool withChat = false) : withChat_(withChat) {}

    void apply(const LogEvent& e);
    // Wall-clock time (ms since the epoch) at server time 0, once known: the session's start
    // and end are shown in the viewer's own clock from it.
    void setOrigin(int64_t epochMs) { origin_ = epochMs; }
    // A new log (the server was restarted): everything starts over, the feed's numbering too.
    void clear();

    // The session and the table, without the feed.
    nlohmann::ordered_json state() const;
    // Feed items added since the last call, each {seq, time, kind, text}, oldest first.
    nlohmann::ordered_json takeFeed();

  private:
    struct Session {
        std::string name;
        int type = -1;
        int64_t advancedAt = 0;  // server time of the SESSION line
        int64_t waitMs = 0, lengthMs = 0;
        int raceLaps = 0;
        std::optional<int64_t> startedAt = std::nullopt;
        std::string winner = {};
    };
    std::string nameOf(const std::string& guid) const;
    void note(const LogEvent& e, const std::string& text);
    void gone(const std::string& guid, const std::string& how);
    nlohmann::ordered_json sessionJson(const Session& s) const;

    bool withChat_;
    std::optional<int64_t> origin_;
    std::map<std::string, Entrant> entrants_;
    Session session_;
    SessionTable table_;
    // The session that ended and its table, shown until the next session starts or a lap of it
    // is counted.
    std::optional<Session> finishedSession_;
    SessionTable finishedTable_;
    std::string track_;
    uint64_t nextSeq_ = 1;
    nlohmann::ordered_json feed_ = nlohmann::ordered_json::array();
};

}  // namespace live
