// Everything an admitted client sends arrives here and is handed to its handler by type.
#include <cstdio>

#include "admission/CRVClientConnection.h"
#include "protocol/MessageTypes.h"
#include "runtime/CRVServer.h"

namespace {

// The five message kinds whose layout is fixed; anything else of another size is noise from
// a broken or foreign client and is dropped before it touches the record.
bool sizeMatches(uint8_t type, int size) {
    int want = 0;
    const char* line = nullptr;
    switch (type) {
        case RV_CLIENTLIST:
            want = msgsize::kClientList;
            line = "**** CRC failed RV_CLIENTLIST ****\n";
            break;
        case RV_CARUPDATE:
            want = msgsize::kCarUpdate;
            line = "**** CRC failed RV_CARUPDATE ****\n";
            break;
        case RV_PING:
            want = msgsize::kPing;
            line = "**** CRC failed RV_PING****\n";
            break;
        case RV_LAPCOMPLETED:
            want = msgsize::kLapCompleted;
            line = "**** CRC failed RV_LAPCOMPLETED ****\n";
            break;
        case RV_CARUPDATEHV:
            want = msgsize::kCarUpdateHV;
            line = "**** CRC failed RV_CARUPDATEHV ****\n";
            break;
        default:
            return true;
    }
    if (size == want)
        return true;
    std::fputs(line, stdout);
    return false;
}

}  // namespace

void CRVClientConnection::onMessage(uint8_t* data, int size, const SocketAddress* sender) {
    if (data == nullptr || size < 1)
        return;
    const uint8_t type = data[0];
    if (type < RV_CLIENTLIST || type > RV_RELAY)
        return;
    if (!sizeMatches(type, size))
        return;
    switch (type) {
        case RV_CLIENTLIST:
            onClientList(data, size);
            break;
        case RV_CARUPDATE:
            onCarUpdate(data, size, sender);
            break;
        case RV_CHAT:
            onChat(data, size);
            break;
        case RV_PING:
            onPing(data, size);
            break;
        case RV_SIGNOFF:
            onSignOff();
            break;
        case RV_UPDATEOR:
            std::fputs("UPDATEOR!!!\n", stdout);
            break;
        case RV_ACTIVE:
            onActive();
            break;
        case RV_JUMPSTART:
            onJumpStart();
            break;
        case RV_ADMINCOMMAND:
            onAdminCommand(data, size);
            break;
        case RV_INACTIVE:
            onInactive();
            break;
        case RV_TIMEREQUEST:
            onTimeRequest();
            break;
        case RV_DISCONNECT:
            onDisconnect();
            break;
        case RV_CONTACT:
            onContact(data, size);
            break;
        case RV_DRIVERINFOS:
            onDriverInfos(data, size);
            break;
        case RV_DRIVERINFOSREQUEST:
            onDriverInfosRequest(data, size);
            break;
        case RV_READY:
            // Accepted; the client only tells us it has loaded.
            break;
        case RV_NAMES:
            onNames(data, size);
            break;
        case RV_PITSPEEDINFRACTION:
            onPitSpeedInfraction();
            break;
        case RV_CHECKSUMS:
            onChecksums(data, size);
            break;
        case RV_MOVEDANDREADY:
            onMovedAndReady();
            break;
        case RV_CARUPDATEHV:
            onCarUpdateHV(data, size, sender);
            break;
        case RV_ADMINPASSWORD:
            onAdminPassword(data, size);
            break;
        case RV_RELAY:
            onRelay(data, size);
            break;
        case RV_LAPCOMPLETED:
            onLapCompleted(data, size);
            break;
        case RV_STANDINGSREQUEST:
            server->updateRank(id, 0);
            break;
        case RV_QUALIFYLISTREQUEST:
            server->sendQualifyList(id);
            break;
        case RV_FOCUS:
            onFocus(data, size);
            break;
        case RV_SPLIT:
            onSplit(data, size);
            break;
        case RV_FLAG:
            onFlag(data, size);
            break;
        default:
            break;
    }
}
