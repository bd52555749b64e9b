// What clients learn about each other and about the event: the start-up burst, the session
// description, client records, career statistics, clock and ping, and small state messages.
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

constexpr int kAllClients = 255;
constexpr char kAdminGreeting[] = "[RVSERVER]: You've been granted Admin rights";

int32_t readI32(const uint8_t* data, size_t offset) {
    ByteReader r(data, CRVClientConnection::kDriverInfosSize);
    r.seek(offset);
    return r.i32();
}

}  // namespace

CRVClientConnection* CRVServer::findClient(int id) const {
    for (CRVClientConnection* client : clients)
        if (client->id == id)
            return client;
    return nullptr;
}

void CRVServer::sendSessionInfo(CRVClientConnection* client) {
    const SessionRecord* session = current();
    const SessionRecord empty;
    if (session == nullptr)
        session = &empty;
    uint8_t info[msgsize::kSessionInfo];
    ByteWriter w(info, sizeof info);
    w.u8(RV_SESSIONINFO);
    w.u8(session->type);
    w.u32(uint32_t(session->startTime));
    w.u8(session->raceLaps);
    w.u8(uint8_t(session->sessionTime / 1000 / 60));
    w.text(recordText(session->name), sizeof info - 8);
    if (client != nullptr) {
        router.send(client, info, int(w.size()), 1, false);
    } else {
        router.send(nullptr, info, int(w.size()), 20, true);
    }
}

void CRVServer::sendStarBasicInfos(CRVClientConnection* client) {
    std::fputs("sendStarBasicInfos\n", stdout);
    if (client == nullptr)
        return;

    uint8_t ambient[msgsize::kAmbient];
    ByteWriter a(ambient, sizeof ambient);
    a.u8(RV_AMBIENT);
    a.f32(0.0f);
    a.f32(26.0f);
    a.f32(26.0f);
    router.send(client, ambient, int(a.size()), 1, false);

    uint8_t name[msgsize::kServerName];
    ByteWriter n(name, sizeof name);
    n.u8(RV_SERVERNAME);
    n.text(config.name, sizeof name - 1);
    router.send(client, name, int(n.size()), 1, false);

    uint8_t options[msgsize::kServerOptions];
    ByteWriter o(options, sizeof options);
    o.u8(RV_SERVEROPTIONS);
    o.u32(uint32_t(config.damage));
    o.u8(config.fullMode ? 1 : 0);
    o.u8(1);
    router.send(client, options, int(o.size()), 1, false);

    if (client->isAdmin) {
        uint8_t chat[3 + sizeof kAdminGreeting - 1];
        ByteWriter c(chat, sizeof chat);
        writeChat(c, kAdminGreeting);
        router.send(client, chat, int(c.size()), 0, false);
    }

    if (client->entryBallast != 0.0f) {
        const BallastMessage ballast(client->entryBallast);
        router.send(client, ballast.bytes, msgsize::kBallast, 5, true);
    }

    uint8_t grid[msgsize::kGridPoints];
    ByteWriter g(grid, sizeof grid);
    g.u8(RV_GRIDPOINTS);
    writeStartPoint(g, pointAt(startPoints.gridPoints, client->slot));
    writeStartPoint(g, pointAt(startPoints.pitPoints, client->slot));
    writeStartPoint(g, pointAt(startPoints.boxPoints, client->slot));
    router.send(client, grid, int(g.size()), 1, false);

    sendSessionInfo(client);
}

void CRVServer::sendClientList(CRVClientConnection* requester, int wantedId, bool all) {
    for (const CRVClientConnection* c : clients) {
        // Spectators watch; they have no car for anyone to be told about.
        if (c->isSpectator)
            continue;
        if (!all && c->id != wantedId)
            continue;
        const StartPoint box = pointAt(startPoints.boxPoints, c->slot);
        uint8_t info[msgsize::kClientInfo] = {};
        ByteWriter w(info, sizeof info);
        w.u8(RV_CLIENTINFO);
        w.u8(c->id);
        w.u8(c->slot);
        w.text(recordText(c->userName), client_info::kUserNameWidth);
        w.text(recordText(c->extraName), client_info::kNameWidth);
        w.text(recordText(c->model), client_info::kNameWidth);
        w.text(recordText(c->team), client_info::kNameWidth);
        w.u16(uint16_t(c->raceNumber));
        w.u8(uint8_t(c->isActive));
        w.f32(box.px);
        w.f32(box.pz);
        w.f32(box.hx);
        w.f32(box.hz);
        w.f32(c->connectValue1);
        w.f32(c->connectValue2);
        w.f32(c->ballast);
        w.text(recordText(c->frontTyre), client_info::kTextWidth);
        w.text(recordText(c->rearTyre), client_info::kTextWidth);
        w.text(recordText(c->nationality), client_info::kTextWidth);
        const uint8_t* d = c->driverInfos;
        w.u16(uint16_t(readI32(d, driver_infos::kRaces)));
        w.u16(uint16_t(readI32(d, driver_infos::kDnf)));
        w.i32(readI32(d, driver_infos::kContacts));
        w.u16(uint16_t(readI32(d, driver_infos::kWins)));
        w.u16(uint16_t(readI32(d, driver_infos::kPodiums)));
        w.i32(readI32(d, driver_infos::kKm));
        w.i32(readI32(d, driver_infos::kOnlineKm));
        w.seek(client_info::kAddress);
        w.bytes(c->address.raw, sizeof c->address.raw);
        router.send(requester, info, sizeof info, 0, false);
    }
}

void CRVClientConnection::onMovedAndReady() {
    std::printf("%s RV_MOVEDANDREADY\n", printable(recordText(guid)).c_str());
    server->sendStarBasicInfos(this);
}

void CRVClientConnection::onClientList(uint8_t* data, int size) {
    ByteReader r(data, size);
    r.seek(1);
    const int wanted = r.u8();
    std::printf("client %d wants client list\n", int(id));
    if (wanted == kAllClients) {
        std::fputs("Warning: getting all clients?\n", stdout);
        server->sendClientList(this, wanted, true);
    } else {
        server->sendClientList(this, wanted, false);
    }
}

void CRVClientConnection::onDriverInfos(uint8_t* data, int size) {
    std::memset(driverInfos, 0, sizeof driverInfos);
    std::memcpy(driverInfos, data, size_t(size < kDriverInfosSize ? size : kDriverInfosSize));
    std::printf("%s RV_DRIVERINFOS\n", printable(recordText(userName)).c_str());
    using namespace driver_infos;
    std::printf("KM=%d\n", int(readI32(driverInfos, kKm)));
    std::printf("DNF=%d\n", int(readI32(driverInfos, kDnf)));
    std::printf("RACES=%d\n", int(readI32(driverInfos, kRaces)));
    std::printf("WINS=%d\n", int(readI32(driverInfos, kWins)));
    std::printf("PODIUMS=%d\n", int(readI32(driverInfos, kPodiums)));
    std::printf("ONLINE KM=%d\n", int(readI32(driverInfos, kOnlineKm)));
    std::printf("CONTACTS=%d\n", int(readI32(driverInfos, kContacts)));
}

void CRVClientConnection::onDriverInfosRequest(uint8_t* data, int size) {
    ByteReader r(data, size);
    r.seek(1);
    const CRVClientConnection* other = server->findClient(r.u8());
    if (other == nullptr || other->driverInfos[0] == 0)
        return;
    server->router.send(this, other->driverInfos, kDriverInfosSize, 1, false);
}

void CRVClientConnection::onPing(uint8_t* data, int size) {
    ByteReader r(data, size);
    r.seek(1);
    const uint16_t roundTrip = r.u16();
    const uint32_t stamp = r.u32();
    lastSeenTime = server->serverTime;
    uint8_t pong[msgsize::kPong];
    ByteWriter w(pong, sizeof pong);
    w.u8(RV_PONG);
    w.u32(stamp);
    w.u32(uint32_t(server->serverTime));
    server->router.send(this, pong, int(w.size()), 0, false);
    ping = roundTrip;
}

void CRVClientConnection::onTimeRequest() {
    uint8_t time[msgsize::kTime];
    ByteWriter w(time, sizeof time);
    w.u8(RV_TIME);
    w.u32(uint32_t(server->serverTime));
    server->router.send(this, time, int(w.size()), 0, false);
}

void CRVClientConnection::onActive() {
    isActive = 1;
}

void CRVClientConnection::onInactive() {
    isActive = 0;
    lastSeenTime = server->serverTime;
}

void CRVClientConnection::onRelay(uint8_t* data, int size) {
    isActive = 1;
    if (!mayFanOut(relayBudget))
        return;
    for (CRVClientConnection* client : server->clients)
        if (client != this)
            server->router.send(client, data, size, 0, false);
}

void CRVClientConnection::onNames(uint8_t* data, int size) {
    ByteReader r(data, size);
    r.seek(1);
    for (auto& name : names) {
        const std::string text = r.text(sizeof name);
        std::memset(name, 0, sizeof name);
        std::memcpy(name, text.data(), text.size() < sizeof name ? text.size() : sizeof name - 1);
    }
}
