// Track flags: a simulator raises a flag in a sector and later clears it; the server shows both
// to everyone and remembers which sectors still carry which flag.
#include <cstdio>

#include "admission/CRVClientConnection.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"
#include "runtime/CRVServer.h"
#include "util/RecordText.h"

namespace {

constexpr int kFlagSize = int(flag_message::kSize);

}  // namespace

void CRVClientConnection::onFlag(uint8_t* data, int size) {
    // Short reports read their missing bytes as zero.
    uint8_t flag[kFlagSize] = {};
    for (int i = 0; i < kFlagSize && i < size; ++i)
        flag[i] = data[i];
    // A clearing only shrinks the list and must reach everyone; raising spends the allowance.
    if (flag[flag_message::kType] != 0 && !mayFanOut(broadcastBudget))
        return;
    server->processFlag(flag);
    server->logger.log("FLAG," + recordText(guid) + "," +
                           std::to_string(flag[flag_message::kSector]) + "," +
                           std::to_string(flag[flag_message::kType]),
                       4);
}

void CRVServer::processFlag(const uint8_t* flag) {
    const uint8_t sector = flag[flag_message::kSector];
    const uint8_t number = flag[flag_message::kNumber];
    const uint8_t type = flag[flag_message::kType];
    std::printf("Processing flag %d type=%d sector=%d\n", int(number), int(type), int(sector));
    if (type == 1) {
        if (!flags.raise(sector, number)) {
            std::printf("Flag list full, flag %d in sector %d not raised\n", int(number),
                        int(sector));
            return;
        }
        router.send(nullptr, flag, kFlagSize, 20, true);
    } else if (type == 0) {
        for (uint8_t s : flags.clear(number)) {
            const uint8_t clearing[kFlagSize] = {RV_FLAG, s, flag_message::kNoFlag, 0};
            router.send(nullptr, clearing, kFlagSize, 20, true);
        }
    }
}
