// Car states: what each driver reports, which reports are kept, and the combined packet that
// carries every other car to each client.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "admission/CRVClientConnection.h"
#include "protocol/ByteReader.h"
#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"
#include "runtime/CRVServer.h"
#include "runtime/NextWake.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

namespace {

constexpr int kGapLimit = 100;
constexpr uint32_t kNoticeMinUpdates = 300;
constexpr int64_t kNoticeMinServerTime = 5000;
constexpr float kNoticeRatio = 0.4f;
constexpr char kLinkNoticeText[] = "Connection unreliable. Disconnected by server";

}  // namespace

void CRVClientConnection::onCarUpdate(uint8_t* data, int size, const SocketAddress* sender) {
    isActive = 1;
    if (sender != nullptr)
        address = *sender;
    ByteReader r(data, size);
    r.seek(car_update::kFlags);
    const uint8_t flags = r.u8();
    const SessionRecord* session = server->current();
    if ((flags & car_update::kRetiredBit) != 0 && session != nullptr && session->started != 0) {
        if (!retiredFlagSeen && mayFanOut(broadcastBudget)) {
            char text[128];
            std::snprintf(text, sizeof text, "%s RETIRED", recordText(userName).c_str());
            server->sendServerChat(text, nullptr);
        }
        retiredFlagSeen = true;
    } else {
        retiredFlagSeen = false;
    }
    acceptCarUpdate(data);
}

void CRVClientConnection::onCarUpdateHV(uint8_t* data, int, const SocketAddress* sender) {
    isActive = 1;
    if (sender != nullptr)
        address = *sender;
    acceptCarUpdate(data);
}

// Called only after the dispatcher has checked the exact size, so all 23 bytes are present.
bool CRVClientConnection::acceptCarUpdate(const uint8_t* update) {
    ByteReader r(update, car_update::kSize);
    r.seek(car_update::kSequence);
    const uint32_t seq = r.u32();

    lastSeenTime = server->serverTime;
    ++updateCount;
    isActive = 1;

    if (seq <= lastUpdateSeq) {
        std::fputs("OOO packet\n", stdout);
        return false;
    }
    if (int32_t(seq - lastUpdateSeq) > kGapLimit) {
        ++throttleCount;
        std::printf("%s THROTTLE: %d/%d %.3f%%\n", printable(recordText(userName)).c_str(),
                    int(throttleCount), int(updateCount),
                    100.0 * double(throttleCount) / double(updateCount));
        const float ratio = float(throttleCount) / float(updateCount);
        if (double(ratio) > double(kNoticeRatio) && updateCount > kNoticeMinUpdates &&
            server->serverTime > kNoticeMinServerTime) {
            uint8_t notice[msgsize::kLinkNotice];
            ByteWriter w(notice, sizeof notice);
            w.u8(RV_LINKNOTICE);
            w.text(kLinkNoticeText, sizeof notice - 1);
            server->router.send(this, notice, int(w.size()), 0, false);
        }
    }
    lastUpdateSeq = seq;
    seqState = 0;
    std::memcpy(carState, update + car_update::kState, car_update::kStateSize);
    r.seek(car_update::kFlags);
    carFlags = r.u8();
    return true;
}

void CRVServer::offerCarStates() {
    // Packets that fall due close together wait for the last of them and leave in one turn.
    if (clients.empty() || serverTime < situationTurn(*this, serverTime))
        return;
    // Nothing changes a car's record between the packets of one turn, so each record is put
    // together once and copied into every other client's packet. No packet holds more than
    // kMaxRecords, so the clients past one more than that never get into one.
    const size_t count = std::min(clients.size(), car_states::kMaxRecords + 1);
    uint8_t records[(car_states::kMaxRecords + 1) * car_update::kSize];
    ByteWriter w(records, sizeof records);
    for (size_t i = 0; i < count; ++i) {
        const CRVClientConnection* c = clients[i];
        w.u8(RV_CARUPDATE);
        w.u8(c->id);
        w.u32(c->lastUpdateSeq);
        w.bytes(c->carState, car_update::kStateSize);
        w.u8(c->carFlags);
    }
    for (size_t i = 0; i < clients.size(); ++i)
        clients[i]->sendMegapacket(records, count, i);
}

void CRVClientConnection::sendMegapacket(const uint8_t* records, size_t count, size_t self) {
    const int64_t now = server->serverTime;
    if (lastSituationTime != 0 && now - lastSituationTime <= situationInterval)
        return;

    constexpr size_t kRecord = car_update::kSize;
    uint8_t packet[car_states::sizeFor(car_states::kMaxRecords)];
    const size_t before = std::min(self, count);
    const size_t after = self < count ? count - self - 1 : 0;
    const size_t taken = std::min(before + after, car_states::kMaxRecords);
    packet[0] = RV_MEGAPACKET;
    packet[car_states::kCount] = uint8_t(taken);
    uint8_t* out = packet + car_states::kRecords;
    std::memcpy(out, records, std::min(before, taken) * kRecord);
    if (taken > before)
        std::memcpy(out + before * kRecord, records + (self + 1) * kRecord, (taken - before) * kRecord);
    server->router.send(this, packet, int(car_states::sizeFor(taken)), 0, false);
    lastSituationTime = now;
}
