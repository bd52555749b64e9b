// Any bytes as a datagram arriving at a companion tool: read as a status reply (checked, read,
// shown as text and JSON), an echo, and as a simulator reads it (framing, acceptance, combined
// car states). A reply from anyone on the network must never crash the tool reading it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/OperatorMessages.h"
#include "common/PeerInbox.h"
#include "protocol/RaceLayouts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> answer(data, data + size);
    constexpr uint32_t kToken = 0x52564f4b;
    if (tool::checkStatus(answer, kToken).empty()) {
        const tool::ServerStatus status = tool::readStatus(answer);
        (void)tool::toText(status);
        (void)tool::toJson(status).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    (void)tool::checkEcho(answer);

    const peer::Unframed u = peer::unframe(answer.data(), int(answer.size()), [](const Bytes&) {});
    // Whatever the framing claims, the message lies inside the datagram.
    if (u.size < 0 || (u.size > 0 && (u.message < answer.data() ||
                                      u.message + u.size > answer.data() + answer.size())))
        std::abort();
    if (u.size > 0) {
        (void)peer::acceptedId(u.message, u.size);
        const std::vector<peer::CarRecord> cars = peer::carRecords(u.message, u.size);
        if (cars.size() * car_states::kRecordSize > size_t(u.size))
            std::abort();
    }
    return 0;
}
