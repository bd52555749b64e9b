#pragma once
// The traffic of a long event, made up as the virtual clock moves: drivers and spectators join,
// drive, lap (every few laps through the pit lane), chat, vote, raise and clear flags, sign off
// or fall silent, and come back under their old identity or a new one; strangers ask for the
// status and guess the admin password from addresses they never use twice. Handed to the
// server as its socket would hand it datagrams, in arrival order.

#include <cstdint>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "common/PeerMessages.h"
#include "transport/OVSocket.h"

struct EnduranceCast {
    int drivers = 32;
    int spectators = 3;
    int updatesPerSecond = 10;
    uint32_t seed = 1;
};

// What the event has done so far.
struct EnduranceCounts {
    uint64_t messages = 0, joins = 0, rejoinsOld = 0, rejoinsNew = 0, signOffs = 0, silences = 0;
    uint64_t laps = 0, pitStops = 0, chats = 0, votes = 0, flags = 0, strangers = 0;
};

class EnduranceEvent : public MessageFeed {
  public:
    explicit EnduranceEvent(const EnduranceCast& cast);

    bool next(uint8_t*& data, int& size, SocketAddress& from) override;
    void setNow(uint32_t now) { now_ = now; }
    // Arrival time of the next datagram (or of the next thing someone decides to do).
    uint32_t nextTime() const { return agenda_.empty() ? UINT32_MAX : agenda_.top().time; }
    // From now on nobody joins again, and everyone on the server signs off at once.
    void closeDoors();
    const EnduranceCounts& counts() const { return counts_; }

  private:
    enum class Act { Join, Update, Lap, Chat, Vote, RaiseFlag, ClearFlag, Ping, Leave, Stranger };
    struct Entry {
        uint32_t time;
        uint64_t order;  // ties keep the order they were planned in
        int who;
        Act act;
        uint32_t generation;  // a plan made for an earlier stay is dropped
        bool operator>(const Entry& o) const {
            return time != o.time ? time > o.time : order > o.order;
        }
    };
    struct Person {
        bool spectator = false;
        bool online = false;
        bool silent = false;  // stopped sending without a word
        uint32_t generation = 0;
        int identity = 0;  // which of this person's guids is in use
        int identities = 0;
        uint16_t port = 0;
        uint32_t sequence = 0;
        uint32_t lap = 0;
        int32_t total = 0;
        uint8_t raisedFlag = 0;
    };

    void plan(uint32_t inMs, int who, Act act);
    uint32_t between(uint32_t lowMs, uint32_t highMs);
    SocketAddress addressOf(int who) const;
    // Turns one due entry into a datagram; false when it sends nothing.
    bool act(const Entry& e);
    void join(int who);
    void leave(int who);

    EnduranceCast cast_;
    std::mt19937 random_;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> agenda_;
    std::vector<Person> people_;
    uint64_t planned_ = 0;
    uint32_t now_ = 0;
    uint16_t nextPort_ = 20000;
    bool closing_ = false;
    Bytes current_;
    SocketAddress currentFrom_;
    EnduranceCounts counts_;
};
