#pragma once
// Routes every received message to the client it came from (or to the server object for
// unknown senders) and holds the outgoing queue, which sends one message per main-loop turn.

#include <cstdint>
#include <deque>
#include <vector>

#include "transport/Budgets.h"
#include "transport/OVMessageListener.h"
#include "transport/OVSocket.h"

class CRVServer;
class CRVClientConnection;

struct QueuedMessage {
    static constexpr int kMaxData = 1024;
    uint32_t dueTime = 0;  // carried along; the send step never waits for it
    int size = 0;
    std::vector<uint8_t> data;  // the message's own bytes only
    SocketAddress target;
    bool reliable = false;
    OVSocket* socket = nullptr;
    CRVClientConnection* client = nullptr;
};

class CClientMessageRouter : public OVMessageListener {
  public:
    static constexpr int kDatagramsPerTurn = 200;
    // One message leaves per turn; more waiting than this no real event queues, and past it new
    // copies are dropped.
    static constexpr size_t kMaxQueued = 8192;

    CClientMessageRouter() = default;
    ~CClientMessageRouter() override = default;

    // Queues a copy for `client`, or for every real client in list order when it is null; the
    // k-th copy of a broadcast is stamped now + k * delayMs.
    void send(CRVClientConnection* client, const uint8_t* data, int size, int delayMs,
              bool reliable);
    // One transport turn: receive and dispatch, resend what is due, send one queued message.
    void update();
    void removeQueuedFor(const CRVClientConnection* client);

    void onMessage(uint8_t* data, int size, const SocketAddress* source) override;
    bool onReliableResend(const PendingReliable& record) override;

    OVSocket socket;
    CRVServer* owner = nullptr;
    std::deque<QueuedMessage> queue;
    DropReport queueDrops{"outgoing messages dropped (queue full)"};

  private:
    void enqueue(CRVClientConnection* client, const uint8_t* data, int size, uint32_t due,
                 bool reliable);
};
