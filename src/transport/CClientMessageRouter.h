#pragma once
// Routes every received message to the peer it came from (or to the host for unknown senders)
// and holds the outgoing queue, which sends one message per main-loop turn.

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "transport/Budgets.h"
#include "transport/Clock.h"
#include "transport/OVMessageListener.h"
#include "transport/OVSocket.h"
#include "transport/RoutedPeer.h"

struct QueuedMessage {
    static constexpr int kMaxData = 1024;
    uint32_t dueTime = 0;  // carried along; the send step never waits for it
    int size = 0;
    std::vector<uint8_t> data;  // the message's own bytes only
    SocketAddress target;
    bool reliable = false;
    OVSocket* socket = nullptr;
    RoutedPeer* client = nullptr;
};

class CClientMessageRouter : public OVMessageListener {
  public:
    static constexpr int kDatagramsPerTurn = 200;
    // One message leaves per turn; more waiting than this no real event queues, and past it new
    // copies are dropped.
    static constexpr size_t kMaxQueued = 8192;

    CClientMessageRouter() = default;
    ~CClientMessageRouter() override = default;

    // Routes to `host`'s peers and stamps the queue with `now`.
    void attach(RouterHost* host, ServerTimeSource now);

    // Queues a copy for `client`, or for every real peer in list order when it is null; the
    // k-th copy of a broadcast is stamped now + k * delayMs.
    void send(RoutedPeer* client, const uint8_t* data, int size, int delayMs, bool reliable);
    // One transport turn: receive and dispatch, resend what is due, send one queued message.
    // Returns how many datagrams were received.
    int update();
    // The turn's last step alone: the front queued message leaves.
    void sendStep();
    void removeQueuedFor(const RoutedPeer* client);

    void onMessage(uint8_t* data, int size, const SocketAddress* source) override;
    bool onReliableResend(const PendingReliable& record) override;

    // Routes a message of a recorded run as if it had just arrived. Whatever the server answers
    // goes to addresses of that run, so nothing leaves the socket meanwhile.
    void deliverRecorded(uint8_t* data, int size, const SocketAddress* sender);
    // True while a recorded message is being routed: a peer admitted now is a replayed one.
    bool deliveringRecorded() const { return deliveringRecorded_; }

    OVSocket socket;
    std::deque<QueuedMessage> queue;
    DropReport queueDrops{"outgoing messages dropped (queue full)"};
    TrafficCounters traffic;

  private:
    // Buffers of sent messages kept for the next ones, so that a queued copy costs no allocation.
    static constexpr size_t kSpareBuffers = 64;

    RoutedPeer* findPeer(const SocketAddress& source);
    void enqueue(RoutedPeer* client, const uint8_t* data, int size, uint32_t due, bool reliable);
    int64_t now() const { return now_ ? now_() : 0; }

    RouterHost* host_ = nullptr;
    ServerTimeSource now_;
    bool deliveringRecorded_ = false;
    std::vector<std::vector<uint8_t>> spare_;
    // Where in the peer list a sender was found last, by a hash of its address.
    std::array<size_t, 256> lastIndex_{};
};
