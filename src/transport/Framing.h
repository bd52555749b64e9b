#pragma once
// The kinds of datagram the transport knows, told apart by the first byte, and the six-byte
// header of reliable data. The server's socket and every peer that talks to it (the test
// client, the simulated drivers) frame their datagrams through these.

#include <cstdint>

#include "protocol/ByteWriter.h"

namespace framing {

constexpr uint8_t kReliableData = 0;
constexpr uint8_t kAcknowledgement = 1;
constexpr int kReliableHeader = 6;
constexpr int kAcknowledgementSize = 2;

// Kind, sequence number and the sender's configured local port; the message follows it.
inline void writeReliableHeader(ByteWriter& w, uint8_t sequence, uint32_t senderPort) {
    w.u8(kReliableData);
    w.u8(sequence);
    w.u32(senderPort);
}

inline void writeAcknowledgement(ByteWriter& w, uint8_t sequence) {
    w.u8(kAcknowledgement);
    w.u8(sequence);
}

}  // namespace framing
