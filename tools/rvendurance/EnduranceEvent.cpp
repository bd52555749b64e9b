#include "rvendurance/EnduranceEvent.h"

#include <string>

#include "common/OperatorMessages.h"
#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"

namespace {

constexpr uint32_t kSecond = 1000;
constexpr uint32_t kMinute = 60 * kSecond;
constexpr uint32_t kPitEvery = 8;  // laps between pit stops
constexpr uint32_t kPitLossMs = 25 * kSecond;
constexpr uint32_t kStrangerHost = 0xc6120000;  // 198.18.0.0/15: never a real driver
constexpr uint32_t kDriverHost = 0x0a000000;

}  // namespace

EnduranceEvent::EnduranceEvent(const EnduranceCast& cast)
    : cast_(cast), random_(cast.seed), people_(size_t(cast.drivers + cast.spectators)) {
    for (size_t i = 0; i < people_.size(); ++i) {
        people_[i].spectator = int(i) >= cast.drivers;
        // Everyone arrives within the first two minutes.
        plan(between(kSecond, 2 * kMinute), int(i), Act::Join);
    }
    plan(between(kSecond, 5 * kSecond), -1, Act::Stranger);
}

uint32_t EnduranceEvent::between(uint32_t lowMs, uint32_t highMs) {
    return std::uniform_int_distribution<uint32_t>(lowMs, highMs)(random_);
}

void EnduranceEvent::plan(uint32_t inMs, int who, Act act) {
    const uint32_t generation = who >= 0 ? people_[size_t(who)].generation : 0;
    agenda_.push(Entry{now_ + inMs, planned_++, who, act, generation});
}

SocketAddress EnduranceEvent::addressOf(int who) const {
    return SocketAddress::fromHost(kDriverHost | uint32_t(who + 1) << 8 | 1,
                                   people_[size_t(who)].port);
}

void EnduranceEvent::closeDoors() {
    closing_ = true;
    for (size_t i = 0; i < people_.size(); ++i)
        if (people_[i].online)
            plan(0, int(i), Act::Leave);
}

bool EnduranceEvent::next(uint8_t*& data, int& size, SocketAddress& from) {
    while (!agenda_.empty() && agenda_.top().time <= now_) {
        const Entry e = agenda_.top();
        agenda_.pop();
        if (e.who >= 0 && e.generation != people_[size_t(e.who)].generation)
            continue;
        if (!act(e))
            continue;
        ++counts_.messages;
        data = current_.data();
        size = int(current_.size());
        from = currentFrom_;
        return true;
    }
    return false;
}

bool EnduranceEvent::act(const Entry& e) {
    if (e.who < 0) {
        if (closing_)
            return false;
        // A server browser's question, or a guess at the admin password, each from an address
        // of its own, so the budgets' address tables fill to their bounds.
        ++counts_.strangers;
        currentFrom_ = SocketAddress::fromHost(kStrangerHost | (random_() & 0x1ffff),
                                               uint16_t(between(1024, 65535)));
        current_ = random_() % 8 == 0
                       ? tool::adminCommand("guess" + std::to_string(random_() % 100), "nextses")
                       : tool::statusQuery(random_());
        plan(between(200, 3 * kSecond), -1, Act::Stranger);
        return true;
    }
    Person& p = people_[size_t(e.who)];
    if (e.act == Act::Join) {
        if (closing_)
            return false;
        join(e.who);
        return true;
    }
    if (!p.online || p.silent)
        return false;
    currentFrom_ = addressOf(e.who);
    switch (e.act) {
        case Act::Update: {
            plan(kSecond / uint32_t(cast_.updatesPerSecond), e.who, Act::Update);
            if (p.sequence++ == 0) {
                current_ = peer::typeOnly(RV_MOVEDANDREADY);
                return true;
            }
            uint8_t state[peer::kCarStateSize] = {};
            ByteWriter(state, sizeof state).f32(float(p.sequence % 5000));
            current_ = peer::carUpdate(p.sequence, state, 0);
            return true;
        }
        case Act::Lap: {
            const bool pit = ++p.lap % kPitEvery == 0;
            const uint32_t lapMs = between(85 * kSecond, 95 * kSecond) + (pit ? kPitLossMs : 0);
            p.total += int32_t(lapMs);
            ++counts_.laps;
            counts_.pitStops += pit ? 1 : 0;
            if (pit && random_() % 4 == 0) {
                // Too fast in the pit lane: reported now, the lap follows a moment later.
                --p.lap;
                p.total -= int32_t(lapMs);
                --counts_.laps;
                --counts_.pitStops;
                plan(kSecond, e.who, Act::Lap);
                current_ = peer::typeOnly(RV_PITSPEEDINFRACTION);
                return true;
            }
            plan(lapMs, e.who, Act::Lap);
            current_ = peer::lapCompleted(p.lap, int32_t(lapMs), int32_t(lapMs / 2), p.total);
            return true;
        }
        case Act::Chat:
            ++counts_.chats;
            plan(between(2 * kMinute, 10 * kMinute), e.who, Act::Chat);
            current_ = peer::chat(0, "lap " + std::to_string(p.lap) + ", all fine here");
            return true;
        case Act::Vote:
            ++counts_.votes;
            plan(between(10 * kMinute, 60 * kMinute), e.who, Act::Vote);
            current_ = tool::adminCommand("", random_() % 3 == 0 ? "restart" : "nextses");
            return true;
        case Act::RaiseFlag: {
            ++counts_.flags;
            p.raisedFlag = uint8_t(1 + random_() % 6);
            plan(between(5 * kSecond, 40 * kSecond), e.who, Act::ClearFlag);
            current_ = {RV_FLAG, uint8_t(random_() % 24), p.raisedFlag, 1};
            return true;
        }
        case Act::ClearFlag:
            plan(between(3 * kMinute, 20 * kMinute), e.who, Act::RaiseFlag);
            current_ = {RV_FLAG, 0, p.raisedFlag, 0};
            return true;
        case Act::Ping:
            plan(3 * kSecond, e.who, Act::Ping);
            current_ = peer::ping(uint16_t(between(20, 120)), now_);
            return true;
        case Act::Leave:
            leave(e.who);
            return !p.silent;
        case Act::Join:
        case Act::Stranger:
            break;
    }
    return false;
}

void EnduranceEvent::join(int who) {
    Person& p = people_[size_t(who)];
    ++p.generation;
    const bool returning = p.identities > 0;
    // Back under the name they had (their first one), or as someone new.
    if (!returning || random_() % 5 < 2) {
        p.identity = p.identities++;
        counts_.rejoinsNew += returning ? 1 : 0;
    } else {
        p.identity = 0;
        ++counts_.rejoinsOld;
    }
    ++counts_.joins;
    p.online = true;
    p.silent = false;
    p.sequence = 0;
    p.lap = 0;
    p.total = 0;
    p.port = nextPort_;
    nextPort_ = nextPort_ >= 60000 ? 20000 : uint16_t(nextPort_ + 1);
    const std::string name = (p.spectator ? "Watcher" : "Driver") + std::to_string(who) + "_" +
                             std::to_string(p.identity);
    current_ =
        connectRequest({.spectator = p.spectator,
                        .guid = "guid-" + std::to_string(who) + "-" + std::to_string(p.identity),
                        .userName = name,
                        .raceNumber = uint16_t(who + 1),
                        .frontTyre = "",
                        .rearTyre = ""});
    currentFrom_ = addressOf(who);
    // Stays from a few minutes to a few hours, so that even a short run sees people come back.
    plan(between(5 * kMinute, p.spectator ? 120 * kMinute : 180 * kMinute), who, Act::Leave);
    plan(between(3 * kSecond, 6 * kSecond), who, Act::Ping);
    if (p.spectator)
        return;
    plan(200, who, Act::Update);
    plan(between(60 * kSecond, 100 * kSecond), who, Act::Lap);
    plan(between(kMinute, 10 * kMinute), who, Act::Chat);
    plan(between(5 * kMinute, 60 * kMinute), who, Act::Vote);
    plan(between(kMinute, 20 * kMinute), who, Act::RaiseFlag);
}

void EnduranceEvent::leave(int who) {
    Person& p = people_[size_t(who)];
    // Most sign off; the rest just stop sending, and the server lets them go once silent.
    p.silent = !closing_ && random_() % 5 < 2;
    if (p.silent) {
        ++counts_.silences;
    } else {
        ++counts_.signOffs;
        current_ = peer::typeOnly(RV_SIGNOFF);
    }
    p.online = false;
    ++p.generation;  // whatever was planned for this stay is off
    if (!closing_) {
        // Some come back before the server has even noticed that they fell silent.
        agenda_.push(Entry{now_ + between(20 * kSecond, 15 * kMinute), planned_++, who, Act::Join,
                           p.generation});
    }
}
