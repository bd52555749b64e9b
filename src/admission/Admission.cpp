// Admission: whether a connection request from an unknown address becomes a client, and the
// set-up of the new client's record when it does.
#include <cstdio>
#include <string>

#include "admission/CRVClientConnection.h"
#include "admission/ConnectRequest.h"
#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteReader.h"
#include "protocol/ByteWriter.h"
#include "protocol/ChatMessage.h"
#include "protocol/MessageTypes.h"
#include "runtime/CRVServer.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

namespace {

// A ratio from the wire as whole percent, truncated; nonsense values print as 0.
int wholePercent(float ratio) {
    const double p = double(ratio) * 100;
    return p > -2e9 && p < 2e9 ? int(p) : 0;
}

template <size_t N>
void copyText(char (&field)[N], const std::string& text) {
    std::snprintf(field, N, "%s", text.c_str());
}

}  // namespace

void CRVServer::sendRefusalText(const std::string& text, const SocketAddress* sender) {
    uint8_t buffer[3 + 255];
    ByteWriter w(buffer, sizeof buffer);
    writeChat(w, text);
    replyTo(sender, buffer, int(w.size()));
}

void CRVServer::sendRefused(const std::string& text, const SocketAddress* sender) {
    uint8_t buffer[refusal::kSize];
    ByteWriter w(buffer, sizeof buffer);
    w.u8(RV_REFUSED);
    w.text(text, refusal::kTextWidth);
    replyTo(sender, buffer, int(w.size()));
}

int CRVServer::nextFreeRaceNumber(int n) const {
    for (;; ++n) {
        bool taken = false;
        for (const CRVClientConnection* c : clients)
            taken = taken || c->raceNumber == n;
        if (!taken)
            return n;
    }
}

void CRVServer::admitClient(const uint8_t* data, int size, const SocketAddress* sender) {
    const ConnectRequest q = ConnectRequest::read(data, size);

    for (const CRVClientConnection* c : clients)
        if (q.guid == c->guid) {
            std::printf("Client %s refused, already here\n", printable(q.userName).c_str());
            return;
        }
    if (refuseBanned(q, sender))
        return;

    if (draining.active) {
        sendRefusalText("[RVSERVER]: The event is closing. Connection refused", sender);
        return;
    }

    if (!config.frontTyre.empty() && !config.rearTyre.empty()) {
        std::printf("tireGUID=%d %d\n", q.tyreChecksum, checksums.tyres);
        if (q.tyreChecksum != checksums.tyres) {
            sendRefusalText("[RVSERVER]: Only " + config.frontTyre + " " + config.rearTyre +
                                " tires are allowed on this server",
                            sender);
            return;
        }
    }

    // Without a current session nobody is let in, as in a closed one, not even the entry list.
    const SessionRecord* s = current();
    if (s == nullptr || (s->acceptNew == 0 && config.entryList.empty())) {
        sendRefusalText("[RVSERVER]: Session is closed to new clients. Connection refused", sender);
        return;
    }

    float matchedBallast = 0;
    int matchedGridPlace = -1;
    if (!config.entryList.empty()) {
        bool matched = false;
        for (size_t i = 0; i < config.entryList.size(); ++i) {
            if (config.entryList[i].driver != q.guid)
                continue;
            matched = true;
            matchedBallast = float(config.entryList[i].ballast);
            if (config.useForGrid)
                matchedGridPlace = int(i);
        }
        if (!matched) {
            sendRefusalText(
                "[RVSERVER]: You are not in the server's entry list. Connection refused", sender);
            return;
        }
    }

    const bool raceRunning = s != nullptr && s->type == kRace && s->started;

    bool admitted = false;
    if (q.version != config.acceptVersion) {
        sendRefused(q.version < config.acceptVersion
                        ? "Client software not updated. Please update Ralvo"
                        : "Client software is newer than the server. Connection refused",
                    sender);
    } else if (int(clients.size()) >= config.maxClients || freeSlot() < 0) {
        // A full server stays silent; so does one whose slot table is used up.
    } else {
        // A request that carries a password, or needs one, is a password attempt.
        const bool attempt = !config.password.empty() || !q.password.empty();
        if (attempt && !passwordAttemptAllowed(sender))
            return;
        const bool admin = !config.admin.empty() && q.password == config.admin;
        if (admin)
            std::printf("NEW CLIENT IS ADMIN\n");
        const bool joinPasswordRight = q.password == config.password;
        if (!admin && !q.password.empty() && !joinPasswordRight)
            wrongPassword(sender);
        if (!config.password.empty() && sender != nullptr && !admin && !joinPasswordRight) {
            if (q.password.empty())
                wrongPassword(sender);
            std::printf("WRONG PASSWORD %s - client refused\n", printable(q.password).c_str());
            sendRefusalText("[RVSERVER]: Invalid password. Connection refused", sender);
            return;
        }
        createClient(q, sender, admin, matchedBallast, matchedGridPlace, raceRunning);
        admitted = true;
    }
    if (!admitted)
        std::printf("Client %d is already connected\n", q.raceNumber);
    std::printf("Clients=%d\n", int(clients.size()));
}

int CRVServer::freeSlot() const {
    for (int i = 0; i < kSlots; ++i)
        if (!slotTaken[i])
            return i;
    return -1;
}

void CRVServer::enlistClient(CRVClientConnection* client) {
    client->server = this;
    const int slot = freeSlot();
    if (slot >= 0) {
        client->slot = uint8_t(slot);
        slotTaken[slot] = true;
    }
    client->id = joinCounter;
    client->focusId = joinCounter;
    if (++joinCounter == 0)
        joinCounter = 1;
    client->lastSeenTime = serverTime;
    // Admitted from a recording: nobody is behind its address, so nothing is ever queued for it.
    client->isReplayed = router.deliveringRecorded();
    clients.push_back(client);
    rankingList.push_back(client);
}

void CRVServer::createClient(const ConnectRequest& q, const SocketAddress* sender, bool admin,
                             float ballast, int gridPlace, bool raceRunning) {
    saveUserProfile(q.guid);
    std::printf("creating client %s \n", printable(q.guid).c_str());

    auto* client = new CRVClientConnection();
    client->isAdmin = admin;
    client->isSpectator = q.spectator;
    client->connectValue1 = q.connectValue1;
    client->connectValue2 = q.connectValue2;
    copyText(client->frontTyre, q.frontTyre);
    copyText(client->rearTyre, q.rearTyre);
    client->entryBallast = ballast;
    client->gridPlace = gridPlace >= 0 ? gridPlace : getFreeGridPlace();
    if (sender != nullptr)
        client->address = *sender;

    std::printf("Requested raceNumber=%d \n", q.raceNumber);
    client->raceNumber = q.raceNumber;
    for (const CRVClientConnection* c : clients)
        if (c->raceNumber == q.raceNumber) {
            client->raceNumber = nextFreeRaceNumber(q.raceNumber + 1);
            break;
        }
    std::printf("Assigned raceNumber=%d %d\n", client->raceNumber, int(uint32_t(serverTime)));

    enlistClient(client);
    sendServerChat(
        std::to_string(client->raceNumber) + " " + q.userName + " [" + q.team + "] JOINS THE RACE",
        nullptr);
    logger.log("JOIN," + q.userName + "," + std::to_string(q.raceNumber) + "," + q.team + "," +
                   q.model + "," + q.guid + "," + q.nationality,
               4);

    client->setAddress(sender);
    if (sender != nullptr) {
        std::printf("server port=%d\n", publicPort());
        uint8_t message[acceptance::kSize] = {};
        ByteWriter w(message, sizeof message);
        w.u8(RV_ACCEPTED);
        w.text(config.name, acceptance::kNameWidth);
        w.seek(acceptance::kPort);
        w.u32(uint32_t(publicPort()));
        w.u8(client->id);
        w.u16(uint16_t(client->raceNumber));
        w.u8(client->slot);
        w.u8(raceRunning ? 1 : 0);
        router.socket.setTarget(*sender, 0);
        router.socket.sendReliable(message, int(w.size()));
        client->address = *sender;
    }
    copyText(client->guid, q.guid);
    copyText(client->userName, q.userName);
    copyText(client->team, q.team);
    copyText(client->extraName, q.extraName);
    copyText(client->model, q.model);
    copyText(client->nationality, q.nationality);
    client->bandwidth = q.bandwidth;

    std::printf("\nCLIENT CONNECTED:\n");
    std::printf("GUID=%s\n", printable(recordText(client->guid)).c_str());
    std::printf("USERNAME=%s\n", printable(recordText(client->userName)).c_str());
    std::printf("RACENUMBER=%d\n", client->raceNumber);
    std::printf("TEAM=%s\n", printable(recordText(client->team)).c_str());
    std::printf("NATIONALITY=%s\n", printable(recordText(client->nationality)).c_str());
    std::printf("ONLINE KM=%d\n", q.onlineKm);
    std::printf("ACCIDENT RATIO=%.1f\n", double(q.accidentRatio));
    std::printf("DNF RATIO=%d\n", wholePercent(q.dnfRatio));
    std::printf("MODEL=%s\n", printable(recordText(client->model)).c_str());
    std::printf("BANDWIDTH=%f\n", double(client->bandwidth));
    if (sender != nullptr) {
        std::printf("IP=%s\n\n", sender->dotted().c_str());
        std::printf("PORT=%d\n\n", int(sender->port()));
    }
    router.send(client, race.lastStandings, msgsize::kStandings, 400, true);
    if (!config.motd.empty())
        sendServerChat(config.motd, client);
}
