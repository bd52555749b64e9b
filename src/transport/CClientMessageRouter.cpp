#include "transport/CClientMessageRouter.h"

#include <cstdio>
#include <cstring>

#include "admission/CRVClientConnection.h"
#include "runtime/CRVServer.h"
#include "transport/ServerStatistics.h"

void CClientMessageRouter::enqueue(CRVClientConnection* client, const uint8_t* data, int size,
                                   uint32_t due, bool reliable) {
    if (queue.size() >= kMaxQueued) {
        queueDrops.count(owner != nullptr ? owner->serverTime : 0);
        return;
    }
    queue.emplace_back();
    QueuedMessage& m = queue.back();
    m.dueTime = due;
    m.size = size;
    m.data.assign(data, data + size);
    m.target = client->address;
    m.reliable = reliable;
    m.socket = &socket;
    m.client = client;
}

void CClientMessageRouter::send(CRVClientConnection* client, const uint8_t* data, int size,
                                int delayMs, bool reliable) {
    // A message larger than a queue record (or, reliably, than a pending copy) cannot travel.
    if (size < 0 || size > QueuedMessage::kMaxData ||
        (reliable && size > PendingReliable::kMaxData)) {
        std::printf("CClientMessageRouter::send dropped a message of %d bytes\n", size);
        return;
    }
    uint32_t now = owner != nullptr ? uint32_t(owner->serverTime) : 0;
    if (client != nullptr) {
        // A client made by replay playback has no one behind its address.
        if (client->isReplayed)
            return;
        enqueue(client, data, size, now + uint32_t(delayMs), reliable);
        return;
    }
    if (owner == nullptr)
        return;
    uint32_t k = 0;
    for (CRVClientConnection* c : owner->clients) {
        if (c->isReplayed)
            continue;
        ++k;
        enqueue(c, data, size, now + k * uint32_t(delayMs), reliable);
    }
}

void CClientMessageRouter::update() {
    socket.receive(kDatagramsPerTurn);
    socket.resendDue();
    if (queue.empty())
        return;
    if (queue.size() > 10)
        std::printf("queue size=%d\n", int(queue.size()));
    QueuedMessage& m = queue.front();
    m.socket->setTarget(m.target, 0);
    if (m.reliable) {
        m.socket->sendReliable(m.data.data(), m.size);
    } else {
        m.socket->send(m.data.data(), m.size);
    }
    if (owner != nullptr && owner->statistics) {
        owner->statistics->bytesWritten += m.size;
        owner->statistics->messagesWritten += 1;
    }
    queue.pop_front();
}

void CClientMessageRouter::removeQueuedFor(const CRVClientConnection* client) {
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
    if (owner == nullptr)
        return;
    owner->recordReceived(data, size, source);
    if (owner->statistics) {
        owner->statistics->bytesRead += size;
        owner->statistics->messagesRead += 1;
    }
    if (source != nullptr) {
        for (CRVClientConnection* c : owner->clients) {
            if (c->address.sameIpAndPort(*source)) {
                c->onMessage(data, size, source);
                return;
            }
        }
    }
    owner->onMessage(data, size, source);
}

bool CClientMessageRouter::onReliableResend(const PendingReliable& record) {
    const CRVClientConnection* found = nullptr;
    if (owner != nullptr) {
        for (const CRVClientConnection* c : owner->clients) {
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
