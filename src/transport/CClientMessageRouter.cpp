#include "transport/CClientMessageRouter.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

void CClientMessageRouter::attach(RouterHost* host, ServerTimeSource now) {
    host_ = host;
    now_ = std::move(now);
}

void CClientMessageRouter::enqueue(RoutedPeer* client, const uint8_t* data, int size, uint32_t due,
                                   bool reliable) {
    if (queue.size() >= kMaxQueued) {
        queueDrops.count(now());
        return;
    }
    queue.emplace_back();
    QueuedMessage& m = queue.back();
    if (!spare_.empty()) {
        m.data = std::move(spare_.back());
        spare_.pop_back();
    }
    m.dueTime = due;
    m.size = size;
    m.data.assign(data, data + size);
    m.target = client->address;
    m.reliable = reliable;
    m.socket = &socket;
    m.client = client;
}

void CClientMessageRouter::send(RoutedPeer* client, const uint8_t* data, int size, int delayMs,
                                bool reliable) {
    // A message larger than a queue record (or, reliably, than a pending copy) cannot travel.
    if (size < 0 || size > QueuedMessage::kMaxData ||
        (reliable && size > PendingReliable::kMaxData)) {
        std::printf("CClientMessageRouter::send dropped a message of %d bytes\n", size);
        return;
    }
    const uint32_t stamp = uint32_t(now());
    if (client != nullptr) {
        if (client->isReplayed)
            return;
        enqueue(client, data, size, stamp + uint32_t(delayMs), reliable);
        return;
    }
    if (host_ == nullptr)
        return;
    uint32_t k = 0;
    for (size_t i = 0; i < host_->peerCount(); ++i) {
        RoutedPeer* c = host_->peer(i);
        if (c->isReplayed)
            continue;
        ++k;
        enqueue(c, data, size, stamp + k * uint32_t(delayMs), reliable);
    }
}

int CClientMessageRouter::update() {
    const int received = socket.receive(kDatagramsPerTurn);
    socket.resendDue();
    sendStep();
    return received;
}

void CClientMessageRouter::sendStep() {
    if (queue.empty())
        return;
    if (queue.size() > 10) {
        // Printed on every turn of a backlog, so it is put together by hand.
        char line[32] = "queue size=";
        char* end = std::to_chars(line + 11, line + sizeof line - 1, queue.size()).ptr;
        *end++ = '\n';
        std::fwrite(line, 1, size_t(end - line), stdout);
    }
    QueuedMessage& m = queue.front();
    m.socket->setTarget(m.target, 0);
    if (m.reliable) {
        m.socket->sendReliable(m.data.data(), m.size);
    } else {
        m.socket->send(m.data.data(), m.size);
    }
    traffic.bytesWritten += m.size;
    traffic.messagesWritten += 1;
    if (spare_.size() < kSpareBuffers)
        spare_.push_back(std::move(m.data));
    queue.pop_front();
}

void CClientMessageRouter::removeQueuedFor(const RoutedPeer* client) {
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->client == client) {
            it = queue.erase(it);
        } else {
            ++it;
        }
    }
}

void CClientMessageRouter::onMessage(uint8_t* data, int size, const SocketAddress* source) {
    if (size < 1) {
        std::printf("Error message size<0 in CClientMessageRouter::onMessage msize=%d\n", size);
        return;
    }
    if (host_ == nullptr)
        return;
    host_->onReceived(data, size, source);
    traffic.bytesRead += size;
    traffic.messagesRead += 1;
    if (source != nullptr) {
        if (RoutedPeer* c = findPeer(*source)) {
            c->onMessage(data, size, source);
            return;
        }
    }
    host_->onMessage(data, size, source);
}

RoutedPeer* CClientMessageRouter::findPeer(const SocketAddress& source) {
    // A peer is admitted only from an address no peer has, so the one peer found at an address
    // is the first in list order; the slot remembers where it was last time.
    uint64_t key = 0;
    std::memcpy(&key, source.raw + 2, 6);
    size_t& slot = lastIndex_[(key * 0x9e3779b97f4a7c15ull) >> 56];
    const size_t count = host_->peerCount();
    if (slot < count && host_->peer(slot)->address.sameIpAndPort(source))
        return host_->peer(slot);
    for (size_t i = 0; i < count; ++i) {
        RoutedPeer* c = host_->peer(i);
        if (c->address.sameIpAndPort(source)) {
            slot = i;
            return c;
        }
    }
    return nullptr;
}

void CClientMessageRouter::deliverRecorded(uint8_t* data, int size, const SocketAddress* sender) {
    socket.muted = true;
    deliveringRecorded_ = true;
    onMessage(data, size, sender);
    deliveringRecorded_ = false;
    socket.muted = false;
}

bool CClientMessageRouter::onReliableResend(const PendingReliable& record) {
    const RoutedPeer* found = nullptr;
    if (host_ != nullptr) {
        for (size_t i = 0; i < host_->peerCount(); ++i) {
            const RoutedPeer* c = host_->peer(i);
            if (c->address == record.target)
                found = c;
        }
    }
    if (found == nullptr) {
        std::printf("onReliableResend on a dead client\n");
        return false;
    }
    std::printf("onReliableResend %d %d\n", record.resendCount, int(int8_t(record.data[0])));
    return record.resendCount < 5;
}
