#pragma once
// What a simulator reads from the server: the transport framing taken off (and reliable
// datagrams acknowledged), the acceptance and the combined car-state packet.
// The simulated drivers, the reference relay, the soak and the tests' client all read through it.

#include <cstdint>
#include <functional>
#include <vector>

#include "common/PeerMessages.h"

namespace peer {

// One datagram with its framing taken off.
struct Unframed {
    enum Kind { kAcknowledgement, kReliable, kPlain } kind = kPlain;
    uint8_t sequence = 0;  // of a reliable datagram or an acknowledgement
    const uint8_t* message = nullptr;
    int size = 0;  // zero when a reliable datagram carries no message
};

// Takes the framing off `datagram`; for a reliable one, hands `acknowledge` (when set) the
// acknowledgement to send back.
Unframed unframe(const uint8_t* datagram, int size,
                 const std::function<void(const Bytes&)>& acknowledge = {});

// The id the server gave the client, from its acceptance.
uint8_t acceptedId(const uint8_t* message, int size);

// One record of a combined car-state packet.
struct CarRecord {
    uint8_t id = 0;
    uint32_t sequence = 0;
    uint8_t state[kCarStateSize] = {};
    uint8_t flags = 0;
};
// The whole records of a combined car-state packet; a cut-off last record is left out.
std::vector<CarRecord> carRecords(const uint8_t* message, int size);

}  // namespace peer
