#include "admission/CRVClientConnection.h"

#include <cstdio>
#include <cstring>

#include "protocol/ByteWriter.h"
#include "protocol/RaceLayouts.h"
#include "runtime/CRVServer.h"
#include "transport/OVSocket.h"
#include "util/PrintableText.h"
#include "util/RecordText.h"

CRVClientConnection::CRVClientConnection() {
    resetCarState();
    clock.initHighPerformanceTimer();
}

void CRVClientConnection::resetCarState() {
    std::memset(carState, 0, sizeof carState);
    carState[12] = uint8_t(kInitialCarStateWord & 0xff);
    carState[13] = uint8_t(kInitialCarStateWord >> 8);
}

bool CRVClientConnection::onReliableResend(const PendingReliable& record) {
    std::printf("CRVClientConnection::onReliableResend %d\n", record.sequence);
    return false;
}

bool CRVClientConnection::mayFanOut(TokenBucket& budget) {
    const int64_t now = server != nullptr ? server->serverTime : 0;
    if (budget.take(now))
        return true;
    fanoutDrops.count(now, printable(recordText(userName)));
    return false;
}

void CRVClientConnection::setAddress(const SocketAddress* sender) {
    if (sender == nullptr)
        return;
    address = *sender;
    std::printf("setting client address to %s\n", address.dotted().c_str());
    ByteWriter w(lapRecord, sizeof lapRecord);
    w.u8(RV_LAPINFO);
    w.u8(id);
    w.u32(server != nullptr ? uint32_t(server->serverTime) : 0);  // lap_info::kTotalTime
    w.u32(0);
    w.u32(0);
}
