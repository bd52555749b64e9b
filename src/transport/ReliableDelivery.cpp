// The reliable half of OVSocket: one sequence counter for all peers, a pending copy of every
// reliable message until it is acknowledged, and resends every five seconds.

#include <cstdio>
#include <cstring>

#include "transport/Framing.h"
#include "transport/OVSocket.h"

int OVSocket::buildReliable(uint8_t* out, uint8_t sequence, const uint8_t* data, int size) const {
    ByteWriter w(out, size_t(kReliableHeader + PendingReliable::kMaxData));
    framing::writeReliableHeader(w, sequence, uint32_t(localPort_));
    if (size > 0)
        w.bytes(data, size_t(size));
    return int(w.size());
}

bool OVSocket::sendReliable(const uint8_t* data, int size) {
    if (muted)
        return true;
    // The pending copy holds at most 1000 bytes; a larger message could never be resent whole.
    if (size > PendingReliable::kMaxData) {
        std::printf("sendReliable: message of %d bytes is too large\n", size);
        return true;
    }
    const uint8_t sequence = uint8_t(nextSequence_);
    const int length = size > 0 ? size : 0;
    uint8_t datagram[kReliableHeader + PendingReliable::kMaxData];
    const int n = buildReliable(datagram, sequence, data, length);
    if (pending_.size() < kMaxPending) {
        auto record = std::make_unique<PendingReliable>();
        record->sequence = sequence;
        record->target = target_;
        record->lastSent = tick();
        record->size = length;
        record->data.assign(data, data + length);
        if (pending_.empty())
            oldestSent_ = record->lastSent;
        pending_.push_back(std::move(record));
    } else {
        unkeptReliable_.count(tick());
    }
    send(datagram, n);

    nextSequence_ = nextSequence_ + 1 > 255 ? 0 : nextSequence_ + 1;
    return true;
}

// Only the peer a message went to can acknowledge it: an acknowledgement from anyone else, or
// one meant for another peer's message of the same number, removes nothing.
void OVSocket::onAcknowledgement(uint8_t sequence, const SocketAddress& source) {
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if ((*it)->sequence != sequence || !(*it)->target.sameIpAndPort(source))
            continue;
        for (size_t i = 0; i < listeners_.size(); ++i)
            listeners_[i]->onReliableAcknowledged(**it);
        pending_.erase(it);
        return;
    }
}

void OVSocket::resendDue() {
    const uint32_t now = tick();
    if (pending_.empty() || uint32_t(now - oldestSent_) <= kResendIntervalMs)
        return;
    for (auto it = pending_.begin(); it != pending_.end();) {
        PendingReliable& record = **it;
        ++it;  // the attempt may remove the record; keep the walk valid
        if (uint32_t(now - record.lastSent) > kResendIntervalMs) {
            if (!resendAttempt(record))
                break;
        }
    }
    // Every record left was sent at most one interval ago, or is the one the walk stopped at.
    oldestSent_ = now;
    for (const auto& record : pending_)
        if (int32_t(record->lastSent - oldestSent_) < 0)
            oldestSent_ = record->lastSent;
}

bool OVSocket::resendAttempt(PendingReliable& record) {
    std::printf("listeners=%d messages=%d\n", int(listeners_.size()), int(pending_.size()));
    for (size_t i = 0; i < listeners_.size(); ++i) {
        if (listeners_[i]->onReliableResend(record))
            continue;
        // The first record with this number goes, which with more than 256 outstanding
        // messages may be an older one than `record`.
        uint8_t sequence = record.sequence;
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if ((*it)->sequence == sequence) {
                pending_.erase(it);
                break;
            }
        }
        return false;
    }
    uint8_t datagram[kReliableHeader + PendingReliable::kMaxData];
    int n = buildReliable(datagram, record.sequence, record.data.data(), record.size);
    record.resendCount++;
    setTarget(record.target, 0);
    send(datagram, n);
    record.lastSent = tick();
    return true;
}
