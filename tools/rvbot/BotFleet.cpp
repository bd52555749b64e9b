#include "rvbot/BotFleet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>

#include "common/PeerInbox.h"
#include "platform/Platform.h"
#include "platform/SocketAddress.h"
#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteReader.h"
#include "protocol/ByteWriter.h"
#include "protocol/ChatMessage.h"
#include "protocol/MessageTypes.h"

namespace {

constexpr uint64_t kSecond = 1000000;
constexpr uint64_t kConnectRetry = kSecond;
constexpr uint64_t kPingPeriod = kSecond;
constexpr uint64_t kSignOffLinger = 300000;
// Where the load mode writes the send time into the car state.
constexpr size_t kStateStamp = 8;
constexpr double kPi = 3.14159265358979323846;

uint64_t now() {
    return platform::monotonicMicros();
}

}  // namespace

struct BotFleet::Bot {
    int index = 0;
    ConnectFields fields;
    platform::SocketHandle socket = platform::kNoSocket;
    bool admitted = false;
    std::string refusal;
    uint8_t id = 0;
    uint64_t lastConnect = 0;
    uint64_t admittedAt = 0;
    uint64_t nextUpdate = 0, nextPing = 0, nextLap = 0, nextChat = 0;
    uint32_t sequence = 0;
    uint32_t lap = 0;
    int32_t lapMs = 0;
    int32_t totalMs = 0;
    uint16_t roundTrip = 0;
    uint64_t lastPacket = 0;
    std::array<uint32_t, 256> lastRelayed{};  // per car id, the last sequence seen relayed
    std::mt19937 random;
};

BotFleet::BotFleet(FleetOptions options) : options_(std::move(options)) {}

BotFleet::~BotFleet() {
    for (auto& bot : bots_)
        platform::udpClose(bot->socket);
}

bool BotFleet::open(std::string& error) {
    serverIp_ = platform::parseDotted(options_.host);
    if (serverIp_ == 0xffffffffu) {
        std::vector<std::string> addresses;
        if (!platform::hostAddresses(options_.host, addresses) || addresses.empty()) {
            error = "cannot resolve host " + options_.host;
            return false;
        }
        serverIp_ = platform::parseDotted(addresses[0]);
    }
    std::string prefix = options_.guidPrefix;
    if (prefix.empty())
        prefix = "rvbot-" + std::to_string(platform::monotonicMicros() % 1000000);
    int total = options_.drivers + options_.spectators;
    for (int i = 0; i < total; ++i) {
        auto bot = std::make_unique<Bot>();
        bot->index = i;
        bot->socket = platform::udpOpen();
        if (bot->socket == platform::kNoSocket || !platform::udpBind(bot->socket, 0) ||
            !platform::udpSetNonBlocking(bot->socket)) {
            platform::udpClose(bot->socket);
            error = "could open sockets for only " + std::to_string(i) + " of " +
                    std::to_string(total) + " clients";
            bots_.clear();
            return false;
        }
        char name[24];
        std::snprintf(name, sizeof name, "rvbot %02d", i + 1);
        bot->fields.spectator = i >= options_.drivers;
        bot->fields.guid = prefix + "-" + std::to_string(i + 1);
        bot->fields.userName = name;
        bot->fields.team = "rvbot";
        bot->fields.raceNumber = uint16_t(i + 1);
        bot->random.seed(uint32_t(i + 1));
        bots_.push_back(std::move(bot));
    }
    return true;
}

bool BotFleet::allAdmitted() const {
    return std::all_of(bots_.begin(), bots_.end(), [](const auto& b) { return b->admitted; });
}

void BotFleet::sendTo(Bot& bot, const std::vector<uint8_t>& datagram) {
    int error = 0;
    platform::udpSendTo(bot.socket, datagram.data(), int(datagram.size()),
                        SocketAddress::fromHost(serverIp_, options_.port), error);
}

LoadReport BotFleet::run() {
    const int clients = int(bots_.size());
    if (!bots_.empty())
        pump(now() + uint64_t(options_.admitSeconds * kSecond));
    LoadReport report;
    if (allAdmitted()) {
        pump(now() + uint64_t(options_.settleSeconds * kSecond));
        uint64_t windowStart = now();
        measuring_ = true;
        if (options_.onWindowStart)
            options_.onWindowStart();
        pump(windowStart + uint64_t(options_.seconds * kSecond));
        measuring_ = false;
        uint64_t windowEnd = now();
        if (options_.onWindowEnd)
            options_.onWindowEnd();
        report = summarize(samples_, clients, double(windowEnd - windowStart) / kSecond);
    } else {
        report.failure = "not every client was admitted";
        for (auto& bot : bots_)
            if (!bot->refusal.empty())
                report.failure = "refused: " + bot->refusal;
    }
    for (auto& bot : bots_) {
        report.admitted += bot->admitted ? 1 : 0;
        if (bot->admitted)
            sendTo(*bot, peer::typeOnly(RV_SIGNOFF));
        bot->admitted = false;  // nothing more to send; keep acknowledging for a moment
        bot->refusal = "signed off";
    }
    pump(now() + kSignOffLinger);
    report.drivers = options_.drivers;
    report.spectators = options_.spectators;
    return report;
}

// Runs the fleet until `until`, or, during admission, until every client is in.
void BotFleet::pump(uint64_t until) {
    const bool admitting = !allAdmitted();
    std::vector<platform::SocketHandle> handles;
    for (auto& bot : bots_)
        handles.push_back(bot->socket);
    std::vector<uint8_t> ready;
    for (uint64_t t = now(); t < until; t = now()) {
        if (admitting && allAdmitted())
            return;
        uint64_t next = until;
        for (auto& bot : bots_) {
            if (!bot->admitted && bot->refusal.empty())
                next = std::min(next, bot->lastConnect + kConnectRetry);
            if (bot->admitted) {
                next = std::min({next, bot->nextPing, bot->nextChat});
                if (!bot->fields.spectator)
                    next = std::min({next, bot->nextUpdate, bot->nextLap});
            }
        }
        int timeoutMs = next > t ? int((next - t + 999) / 1000) : 0;
        if (platform::udpWaitAny(handles, timeoutMs, ready)) {
            for (size_t i = 0; i < bots_.size(); ++i)
                if (ready[i])
                    receiveAll(*bots_[i]);
        }
        for (auto& bot : bots_)
            act(*bot);
    }
}

void BotFleet::receiveAll(Bot& bot) {
    uint8_t buffer[2048];
    SocketAddress from;
    const SocketAddress server = SocketAddress::fromHost(serverIp_, options_.port);
    for (;;) {
        int n = platform::udpRecvFrom(bot.socket, buffer, int(sizeof buffer), from);
        if (n < 0)
            return;
        if (n < 1 || !from.sameIpAndPort(server))
            continue;  // only the server we were pointed at is listened to
        const peer::Unframed u =
            peer::unframe(buffer, n, [&](const Bytes& ack) { sendTo(bot, ack); });
        if (u.kind != peer::Unframed::kAcknowledgement)
            onMessage(bot, u.message, u.size);
    }
}

void BotFleet::onMessage(Bot& bot, const uint8_t* data, int size) {
    if (size < 1)
        return;
    ByteReader r(data, size);
    switch (data[0]) {
        case RV_ACCEPTED: {
            if (bot.admitted || !bot.refusal.empty())
                return;  // a resent acceptance
            bot.id = peer::acceptedId(data, size);
            bot.admitted = true;
            uint64_t t = now();
            bot.admittedAt = t;
            sendTo(bot, peer::typeOnly(RV_MOVEDANDREADY));
            // Spread the drivers over one update period, as independent simulators would be.
            uint64_t period = uint64_t(kSecond / options_.rateHz);
            int clients = int(bots_.size());
            bot.nextUpdate = t + period * uint64_t(bot.index) / uint64_t(clients);
            bot.nextPing = t + kPingPeriod * uint64_t(bot.index + 1) / uint64_t(clients + 1);
            bot.lapMs = 0;
            bot.nextLap = t;  // draws the first lap time without reporting a lap
            bot.nextChat = options_.chatSeconds > 0 ? t + uint64_t(options_.chatSeconds * kSecond)
                                                    : UINT64_MAX;
            return;
        }
        case RV_REFUSED:
            r.seek(refusal::kText);
            bot.refusal = r.text(refusal::kTextWidth);
            return;
        case RV_CHAT:
            // Before admission a chat line is the server's refusal text.
            if (!bot.admitted && bot.refusal.empty()) {
                r.seek(chat_message::kLength);
                const int n = r.u8();
                const int text = int(chat_message::kText);
                bot.refusal.assign(reinterpret_cast<const char*>(data) + text,
                                   size_t(std::max(0, std::min(n, size - text))));
            }
            return;
        case RV_PONG:
            r.seek(1);
            bot.roundTrip = uint16_t(uint32_t(now() / 1000) - r.u32());
            return;
        case RV_MEGAPACKET:
            onMegapacket(bot, data, size);
            return;
        default:
            return;
    }
}

void BotFleet::onMegapacket(Bot& bot, const uint8_t* data, int size) {
    uint64_t t = now();
    uint64_t previous = bot.lastPacket;
    bot.lastPacket = t;
    if (!measuring_)
        return;
    samples_.megapackets++;
    if (size_t(size) != car_states::sizeFor(bots_.size() - 1))
        samples_.badSizes++;
    if (previous != 0)
        samples_.interArrivalMs.push_back(double(t - previous) / 1000.0);
    if (!options_.load)
        return;
    for (const peer::CarRecord& car : peer::carRecords(data, size)) {
        ByteReader state(car.state, int(sizeof car.state));
        state.seek(kStateStamp);
        const uint32_t stamp = state.u32();
        // Only the first relay of an update counts; a car that has sent nothing carries no time.
        if (car.sequence == 0 || car.sequence == bot.lastRelayed[car.id])
            continue;
        bot.lastRelayed[car.id] = car.sequence;
        samples_.latencyMs.push_back(double(uint32_t(uint32_t(t) - stamp)) / 1000.0);
    }
}

void BotFleet::act(Bot& bot) {
    uint64_t t = now();
    if (!bot.admitted) {
        if (bot.refusal.empty() && t >= bot.lastConnect + kConnectRetry) {
            bot.lastConnect = t;
            sendTo(bot, connectRequest(bot.fields));
        }
        return;
    }
    if (t >= bot.nextPing) {
        sendTo(bot, peer::ping(bot.roundTrip, uint32_t(t / 1000)));
        bot.nextPing += kPingPeriod;
    }
    if (t >= bot.nextChat) {
        sendTo(bot, peer::chat(bot.id, bot.fields.userName + ": lap " + std::to_string(bot.lap) +
                                           ", all good here"));
        std::uniform_real_distribution<double> spread(0.5, 1.5);
        bot.nextChat += uint64_t(options_.chatSeconds * spread(bot.random) * kSecond);
    }
    if (bot.fields.spectator)
        return;
    if (t >= bot.nextLap) {
        if (bot.lapMs > 0) {
            bot.totalMs += bot.lapMs;
            ++bot.lap;
            sendTo(bot, peer::lapCompleted(bot.lap, bot.lapMs, bot.lapMs / 2, bot.totalMs));
        }
        std::uniform_real_distribution<double> spread(-options_.lapSpread, options_.lapSpread);
        bot.lapMs = int32_t(options_.lapSeconds * 1000 * (1 + spread(bot.random)));
        bot.nextLap += uint64_t(bot.lapMs) * 1000;
    }
    const uint64_t period = uint64_t(kSecond / options_.rateHz);
    if (t < bot.nextUpdate)
        return;
    // A car going round a circle of its own, once per nominal lap, so that a viewer sees motion.
    double elapsed = double(t - bot.admittedAt) / kSecond;
    double angle = 2 * kPi * (elapsed / options_.lapSeconds + double(bot.index) / bots_.size());
    double radius = 150.0 + 4.0 * bot.index;
    uint8_t state[peer::kCarStateSize] = {};
    ByteWriter w(state, sizeof state);
    w.f32(float(radius * std::cos(angle)));
    w.f32(float(radius * std::sin(angle)));
    if (options_.load) {
        w.u32(uint32_t(t));  // the send time, read back from the relayed copies
    } else {
        w.f32(float(angle + kPi / 2));  // heading
    }
    w.u16(1000);  // as in the state of a car that has not moved yet
    sendTo(bot, peer::carUpdate(++bot.sequence, state, 0));
    bot.nextUpdate += period;
    if (bot.nextUpdate + period < t)
        bot.nextUpdate = t + period;  // fell behind: skip rather than burst
}
