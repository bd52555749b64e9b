// Chat, admin rights and commands, and the driver events that matter for fairness.
#include <cstdio>
#include <cstring>
#include <string>

#include "admission/CRVClientConnection.h"
#include "protocol/ByteReader.h"
#include "protocol/ByteWriter.h"
#include "protocol/ChatMessage.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"
#include "runtime/CRVServer.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

namespace {

constexpr size_t kLogTextMax = 255;
constexpr char kNotAdminText[] = "YOUR NOT AN ADMINISTRATOR IN THIS RACE";

// Formats an announcement around one name; the chat sender drops anything of 64 characters
// or more, so the buffer only has to be big enough to tell.
std::string announce(const char* format, const std::string& name) {
    char text[160];
    std::snprintf(text, sizeof text, format, name.c_str());
    return text;
}

void writeLog(CRVServer* server, std::string text, int kind) {
    if (text.size() > kLogTextMax)
        text.resize(kLogTextMax);
    server->logger.log(text, kind);
}

// Text from `offset` up to its zero byte or the end of the message, whichever comes first.
std::string textFrom(const uint8_t* data, int size, int offset) {
    if (size <= offset)
        return std::string();
    ByteReader r(data, size);
    r.seek(size_t(offset));
    return r.text(size_t(size - offset));
}

}  // namespace

void CRVClientConnection::onChat(uint8_t* data, int size) {
    if (!mayFanOut(broadcastBudget))
        return;
    constexpr int kText = int(chat_message::kText);
    ByteReader r(data, size);
    r.seek(chat_message::kLength);
    const int length = r.u8();
    std::printf("char length=%d\n", length);
    // The length byte is the client's word; never relay or read beyond what actually came.
    const int available = size > kText ? size - kText : 0;
    const int textLength = length < available ? length : available;
    const int messageSize = kText + textLength < size ? kText + textLength : size;
    for (CRVClientConnection* client : server->clients)
        server->router.send(client, data, messageSize, 0, false);

    std::string text(reinterpret_cast<const char*>(data) + (size > kText ? kText : size),
                     size_t(textLength));
    text = text.c_str();  // the simulator's display stops at an embedded zero too
    std::printf("[%s]: %s\n", printable(recordText(userName)).c_str(), printable(text).c_str());
    writeLog(server, std::string("CHAT,") + recordText(guid) + "," + text, 0);
}

void CRVClientConnection::onAdminPassword(uint8_t* data, int size) {
    if (isAdmin || !server->passwordAttemptAllowed(&address))
        return;
    if (textFrom(data, size, 1) != server->config.admin) {
        server->wrongPassword(&address);
        return;
    }
    isAdmin = true;
    server->sendServerChat(announce("[SERVER]: %s IS NOW ADMIN", recordText(userName)), nullptr);
}

void CRVClientConnection::onAdminCommand(uint8_t* data, int size) {
    const std::string command = textFrom(data, size, 17);
    if (isAdmin) {
        if (command == "restart") {
            server->sendServerChat(announce("RACE RESTARTED BY %s", recordText(userName)), nullptr);
            server->resetRace(true);
        }
        if (command == "nextses") {
            server->sendServerChat(
                announce("MOVE TO NEXT SESSION COMMANDED BY %s", recordText(userName)), nullptr);
            // From the last session the sequence starts over at the first one.
            if (uint32_t(server->currentSession) >= uint32_t(server->sessions.size()) - 1u)
                server->currentSession = -1;
            server->evolveSession();
        }
        SessionRecord* session = server->current();
        if (command == "startses" && session != nullptr && session->started == 0) {
            server->sendServerChat(announce("SESSION START COMMANDED BY %s", recordText(userName)),
                                   nullptr);
            session->startTime = uint64_t(server->serverTime + Countdown::kCommandedStartDelayMs);
        }
        if (command == "drain")
            server->startDraining();
        else if (command != "restart" && command != "nextses" && command != "startses")
            server->runBanCommand(command, this);
        return;
    }
    // A vote counts once per window whatever a burst of chat spent, so it is always taken.
    if (command == "restart") {
        server->addVote(this, 0);
    } else if (command == "nextses") {
        server->addVote(this, 1);
    } else if (server->voteKick(this, command)) {
    } else if (mayFanOut(broadcastBudget)) {
        uint8_t reply[msgsize::kNotAdminReply];
        ByteWriter w(reply, sizeof reply);
        w.u8(RV_CHAT);
        w.u8(0);
        w.u8(uint8_t(sizeof kNotAdminText - 1));
        w.text(kNotAdminText, sizeof reply - 3);
        server->router.send(this, reply, int(w.size()), 0, false);
    }
}

// A client that has already left is told nothing more and tells no one anything.
void CRVClientConnection::onSignOff() {
    if (hasLeft)
        return;
    std::fputs("Client signing off\n", stdout);
    hasLeft = true;
    server->sendServerChat(announce("[SERVER]: **** %s RETIRED ***", recordText(userName)),
                           nullptr);
    const uint8_t notice[msgsize::kDisconnect] = {RV_DISCONNECT, id};
    server->router.send(nullptr, notice, sizeof notice, 5, true);
}

void CRVClientConnection::onDisconnect() {
    if (hasLeft)
        return;
    hasLeft = true;
    server->sendServerChat(announce("[SERVER]: **** %s DISCONNECTED ***", recordText(userName)),
                           nullptr);
    writeLog(server, std::string("DISCONNECTED,") + recordText(guid), 1);
}

void CRVClientConnection::onJumpStart() {
    jumpStart = true;
    const SessionRecord* session = server->current();
    if (session == nullptr || session->type != kRace || !mayFanOut(broadcastBudget))
        return;
    server->sendServerChat(
        announce("[SERVER]: **** %s JUMP START DETECTED ***", recordText(userName)), nullptr);
    writeLog(server, std::string("JUMPSTART,") + recordText(guid), 3);
}

void CRVClientConnection::onContact(uint8_t* data, int size) {
    ByteReader r(data, size);
    r.seek(contact_report::kOther);
    const uint8_t otherId = r.u8();
    r.seek(contact_report::kValues);
    const float a = r.f32();
    const float b = r.f32();
    const float c = r.f32();
    const CRVClientConnection* other = server->findClient(otherId);
    if (other == nullptr)
        return;
    if (other == this) {
        writeLog(server, std::string("CONTACTWALL,") + recordText(guid), 3);
        return;
    }
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, ",%f,%f,%f", double(a), double(b), double(c));
    writeLog(server,
             std::string("CONTACT,") + recordText(guid) + "," + recordText(other->guid) + numbers,
             3);
}

void CRVClientConnection::onPitSpeedInfraction() {
    writeLog(server, std::string("PITSPEEDINFRACTION,") + recordText(guid), 4);
}

void CRVClientConnection::onChecksums(uint8_t* data, int size) {
    ByteReader r(data, size);
    auto at = [&r](size_t offset) {
        r.seek(offset);
        return r.i32();
    };
    const int32_t executable = at(checksum_report::kExecutable);
    const int32_t car = at(checksum_report::kCar);
    const int32_t track = at(checksum_report::kTrack);
    const int32_t tyres = at(checksum_report::kTyres);
    std::printf("[CHECK]: %s N:%d C:%d T:%d TR:%d\n", printable(recordText(userName)).c_str(),
                int(executable), int(car), int(track), int(tyres));
    // Mismatches are recorded for the stewards; the driver stays in the event.
    if (car != server->checksums.car)
        writeLog(server, std::string("CARILLEGAL,") + recordText(guid), 4);
    if (track != server->checksums.track)
        writeLog(server, std::string("TRACKILLEGAL,") + recordText(guid), 4);
    if (executable != server->checksums.rvs)
        writeLog(server, std::string("RVSILLEGAL,") + recordText(guid), 4);
}

void CRVClientConnection::sendRaceEvent(uint8_t code) {
    // A race started with a single driver counts for nothing, so nobody is told about it.
    if (!server->raceValid)
        return;
    const uint8_t event[msgsize::kRaceEvent] = {RV_RACEEVENT, code, 0, 0, 0, 0};
    server->router.send(this, event, sizeof event, 1, false);
}
