#include "common/PeerInbox.h"

#include <cstring>

#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteReader.h"
#include "protocol/RaceLayouts.h"
#include "transport/Framing.h"

namespace peer {

Unframed unframe(const uint8_t* datagram, int size,
                 const std::function<void(const Bytes&)>& acknowledge) {
    Unframed u;
    u.message = datagram;
    u.size = size;
    if (size < 1)
        return u;
    if (datagram[0] == framing::kAcknowledgement || datagram[0] == framing::kReliableData) {
        ByteReader r(datagram, size);
        r.seek(1);
        u.sequence = r.u8();
        u.kind = datagram[0] == framing::kReliableData ? Unframed::kReliable
                                                       : Unframed::kAcknowledgement;
        u.size = size > framing::kReliableHeader && u.kind == Unframed::kReliable
                     ? size - framing::kReliableHeader
                     : 0;
        u.message = u.size > 0 ? datagram + framing::kReliableHeader : nullptr;
    }
    if (u.kind == Unframed::kReliable && acknowledge)
        acknowledge(acknowledgement(u.sequence));
    return u;
}

uint8_t acceptedId(const uint8_t* message, int size) {
    ByteReader r(message, size);
    r.seek(acceptance::kId);
    return r.u8();
}

std::vector<CarRecord> carRecords(const uint8_t* message, int size) {
    std::vector<CarRecord> out;
    ByteReader r(message, size);
    for (size_t at = car_states::kRecords;; at += car_states::kRecordSize) {
        CarRecord c;
        r.seek(at + car_update::kOwner);
        c.id = r.u8();
        c.sequence = r.u32();
        for (uint8_t& b : c.state)
            b = r.u8();
        c.flags = r.u8();
        if (r.isShort())
            return out;
        out.push_back(c);
    }
}

}  // namespace peer
