#include "common/PeerMessages.h"

#include <algorithm>
#include <stdexcept>

#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteWriter.h"
#include "protocol/ChatMessage.h"
#include "protocol/MessageTypes.h"
#include "transport/Framing.h"

namespace {

// Builds a message of exactly `size` bytes; fields a layout leaves out stay zero. A layout
// that runs past its size is a mistake in this file, not something to send.
template <typename Fill>
Bytes build(size_t size, Fill fill) {
    Bytes m(size, 0);
    ByteWriter w(m.data(), m.size());
    fill(w);
    if (w.overflowed())
        throw std::logic_error("message layout longer than its size");
    return m;
}

}  // namespace

Bytes connectRequest(const ConnectFields& f) {
    namespace c = connect_request;
    return build(c::kSize, [&](ByteWriter& w) {
        w.u8(f.spectator ? RV_CONNECTRVTV : RV_CONNECT);
        w.text(f.guid, c::kGuidWidth);
        w.text(f.userName, c::kUserNameWidth);
        w.text(f.team, c::kTeamWidth);
        w.text(f.extraName, c::kExtraNameWidth);
        w.text(f.model, c::kModelWidth);
        w.u16(f.raceNumber);
        w.i32(f.version);
        w.u8(f.bandwidth);
        w.text(f.password, c::kPasswordWidth);
        w.seek(c::kFrontTyre);
        w.text(f.frontTyre, c::kTyreWidth);
        w.text(f.rearTyre, c::kTyreWidth);
        w.i32(f.tyreChecksum);
        w.text(f.nationality, c::kNationalityWidth);
        w.f32(f.accidentRatio);
        w.i32(f.onlineKm);
        w.seek(c::kDnfRatio);
        w.f32(f.dnfRatio);
    });
}

namespace peer {

Bytes carUpdate(uint32_t sequence, const uint8_t (&state)[kCarStateSize], uint8_t flags) {
    return build(msgsize::kCarUpdate, [&](ByteWriter& w) {
        w.u8(RV_CARUPDATE);
        w.u8(0);  // the server fills in the owner's id when it relays
        w.u32(sequence);
        w.bytes(state, kCarStateSize);
        w.u8(flags);
    });
}

Bytes lapCompleted(uint32_t lap, int32_t lapTime, int32_t splitTime, int32_t totalTime) {
    return build(msgsize::kLapCompleted, [&](ByteWriter& w) {
        w.u8(RV_LAPCOMPLETED);
        w.u32(lap);
        w.i32(lapTime);
        w.i32(splitTime);
        w.i32(totalTime);
    });
}

Bytes ping(uint16_t roundTripMs, uint32_t stamp) {
    return build(msgsize::kPing, [&](ByteWriter& w) {
        w.u8(RV_PING);
        w.u16(roundTripMs);
        w.u32(stamp);
    });
}

Bytes chat(uint8_t sender, const std::string& text) {
    const size_t n = std::min(text.size(), chat_message::kMaxText);
    return build(chat_message::kText + n, [&](ByteWriter& w) { writeChat(w, text, sender); });
}

Bytes typeOnly(uint8_t type) {
    return Bytes{type};
}

Bytes reliable(const Bytes& message, uint8_t sequence, uint32_t senderPort) {
    return build(framing::kReliableHeader + message.size(), [&](ByteWriter& w) {
        framing::writeReliableHeader(w, sequence, senderPort);
        w.bytes(message.data(), message.size());
    });
}

Bytes acknowledgement(uint8_t sequence) {
    return build(framing::kAcknowledgementSize,
                 [&](ByteWriter& w) { framing::writeAcknowledgement(w, sequence); });
}

}  // namespace peer
