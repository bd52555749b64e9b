// Messages from senders that are not admitted clients: status queries and echo probes from
// anyone, connection requests, remote console commands and the lobby's acknowledgement.
#include <cstdio>
#include <cstring>
#include <vector>

#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteReader.h"
#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "runtime/CRVServer.h"

namespace {

// For the operator only: the sender's address as a number and its port as stored (network
// order read as a host number).
int senderNumber(const SocketAddress* sender) {
    return sender != nullptr ? int(sender->ip()) : 0;
}
int senderPort(const SocketAddress* sender) {
    return sender != nullptr ? int(sender->raw[2] | (sender->raw[3] << 8)) : 0;
}

}  // namespace

void CRVServer::onMessage(uint8_t* data, int size, const SocketAddress* sender) {
    if (data == nullptr || size < 1)
        return;
    switch (data[0]) {
        case RV_CONNECT:
            if (!admissionRequestAllowed(size, sender))
                break;
            std::printf("RV_CONNECT\n");
            admitClient(data, size, sender);
            break;
        case RV_CONNECTRVTV:
            if (!admissionRequestAllowed(size, sender))
                break;
            // A spectator's request then goes the driver's way, console line included.
            std::printf("RV_CONNECTRVTV\n");
            std::printf("RV_CONNECT\n");
            admitClient(data, size, sender);
            break;
        case RV_REGISTERED:
            std::printf("REGISTERED TO RALVO NETWORK\n");
            registeredWithLobby = true;
            break;
        case RV_ADMINCOMMAND:
            onAdminCommand(data, size, sender);
            break;
        case RV_ECHO: {
            const uint8_t echo = RV_ECHO;
            replyTo(sender, &echo, 1);
            break;
        }
        case RV_GETSTATUS:
            answerStatus(data, size, sender);
            break;
        default:
            break;
    }
}

// A connection request passes its own budget before it prints anything, so a flood of them
// (repeats from an address already admitted included) is only counted, once a second. One
// shorter than its layout is read with the missing bytes as zero, but it also costs the sender
// from the answers' budget, so tiny datagrams buy no cheap refusals.
bool CRVServer::admissionRequestAllowed(int size, const SocketAddress* sender) {
    if (sender != nullptr && !limits.requestBudget.take(sender->ip(), serverTime)) {
        limits.requestDrops.count(serverTime);
        return false;
    }
    return size >= msgsize::kConnectRequest || mayAnswer(sender);
}

bool CRVServer::mayAnswer(const SocketAddress* sender) {
    if (sender == nullptr || limits.answerBudget.take(sender->ip(), serverTime))
        return true;
    limits.answerDrops.count(serverTime);
    return false;
}

bool CRVServer::passwordAttemptAllowed(const SocketAddress* sender) {
    return sender == nullptr || limits.passwordGuard.allowed(sender->ip(), serverTime);
}

void CRVServer::wrongPassword(const SocketAddress* sender) {
    if (sender == nullptr)
        return;
    const int seconds = limits.passwordGuard.failed(sender->ip(), serverTime);
    if (seconds > 0)
        logger.log("PASSWORDLOCK," + SocketAddress::fromHost(sender->ip(), 0).dotted() + "," +
                       std::to_string(seconds),
                   1);
}

void CRVServer::onAdminCommand(const uint8_t* data, int size, const SocketAddress* sender) {
    if (!passwordAttemptAllowed(sender))
        return;
    ByteReader r(data, size);
    r.seek(admin_command::kPassword);
    if (r.text(admin_command::kPasswordWidth) != config.admin) {
        std::printf("**** WARNING WRONG ADMIN PASSWORD DETECTED ****\n");
        wrongPassword(sender);
        return;
    }
    // The interpreter splits the text in place, so it gets its own terminated copy; a command
    // without its terminator ends with the datagram.
    std::vector<char> command(1, '\0');
    if (size > int(admin_command::kCommand)) {
        command.assign(data + admin_command::kCommand, data + size);
        command.push_back('\0');
    }
    runCommand(command.data());
}

void CRVServer::answerStatus(const uint8_t* data, int size, const SocketAddress* sender) {
    using namespace status_reply;
    // Checked before any console line: a flood is only counted, once a second.
    if (!mayAnswer(sender))
        return;
    ByteReader request(data, size);
    uint8_t head[4];
    for (uint8_t& b : head)
        b = request.u8();
    request.seek(1);
    const uint32_t token = request.u32();

    std::printf("Get status\n");
    std::printf("sender=%d %d sizeof %d\n", senderNumber(sender), senderPort(sender), 5);

    uint8_t reply[kSize] = {};
    ByteWriter w(reply, sizeof reply);
    w.u8(RV_STATUS);
    w.text(config.name, kTextWidth);
    w.text(config.track, kTextWidth);
    w.text(config.configuration, kTextWidth);
    w.text(config.car, kTextWidth);
    auto field = [&](size_t at) { return reinterpret_cast<const char*>(reply + at); };
    std::printf("%d %d %d %d %d %s %s %s %s size=%d\n", head[0], head[1], head[2], head[3],
                int(token), field(kName), field(kCar), field(kTrack), field(kConfiguration), size);

    // Before the first session begins there is none: the server answers as if it were closed.
    const SessionRecord* s = current();
    int raceLaps = 0;
    for (const SessionRecord& each : sessions)
        if (each.type == kRace) {
            raceLaps = each.raceLaps;
            break;
        }
    uint8_t access = 0;
    // A closing event lets nobody in, whatever the session says.
    if (s != nullptr && s->acceptNew != 0 && !draining.active)
        access = config.password.empty() ? 1 : 2;

    w.u8(s != nullptr ? s->type : 0);
    char desc[kTextWidth] = {};
    if (s != nullptr) {
        const int64_t now = serverTime;
        const int64_t start = int64_t(s->startTime);
        if (s->type == kRace && s->started) {
            std::snprintf(desc, sizeof desc, "%d/%d", race.leaderLaps, int(s->raceLaps));
        } else if (s->type == kRace) {
            std::snprintf(desc, sizeof desc, "%dsec to start", int((start - now) / 10000 * 10));
        } else if (s->type == kPractice || s->type == kQualifying) {
            std::printf("sessionTime=%d\n", int((s->sessionTime - now) / 60000));
            std::snprintf(desc, sizeof desc, "-%d mins",
                          int((start + s->sessionTime - now) / 60000));
        }
    } else if (holding) {
        std::snprintf(desc, sizeof desc, "waiting");  // for the fleet to hand the event out
    }
    w.text(desc, kTextWidth);
    w.u32(token);
    w.u8(uint8_t(config.maxClients));
    w.u8(uint8_t(clients.size()));
    w.u16(uint16_t(raceLaps));
    w.u8(access);
    w.u16(uint16_t(int(config.bandwidth)));
    w.u8(uint8_t(config.rain));
    w.u8(uint8_t(config.damage));

    std::printf("ss.statusDesc=%s %d\n", desc, currentSession);
    std::printf("sender=%d %d\n", senderNumber(sender), senderPort(sender));
    sendStraight(sender, reply, int(sizeof reply));
}

void CRVServer::replyTo(const SocketAddress* sender, const uint8_t* data, int size) {
    if (mayAnswer(sender))
        sendStraight(sender, data, size);
}

void CRVServer::sendStraight(const SocketAddress* sender, const uint8_t* data, int size) {
    if (sender == nullptr)
        return;
    router.socket.setTarget(*sender, 0);
    router.socket.send(data, size);
}
