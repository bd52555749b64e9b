#pragma once
// What the router knows of the server it serves: the peers it routes to by address, and the
// server's side of routing (unknown senders, the recorder's hook). The router never sees more.

#include <cstddef>
#include <cstdint>

#include "platform/SocketAddress.h"
#include "transport/OVMessageListener.h"

// A connected peer: its messages go to its own onMessage.
class RoutedPeer : public OVMessageListener {
  public:
    SocketAddress address;
    // Admitted from a recording: nobody is behind its address, so nothing is ever sent to it.
    bool isReplayed = false;
};

// The server as the router sees it. Its onMessage takes what comes from senders that are no
// peer.
class RouterHost : public OVMessageListener {
  public:
    // The peers in list order: broadcasts are stamped and queued in this order.
    virtual size_t peerCount() const = 0;
    virtual RoutedPeer* peer(size_t index) const = 0;
    // Every received message passes here before it is routed.
    virtual void onReceived(const uint8_t* data, int size, const SocketAddress* source) = 0;
};

// The router's traffic counters, read and reset by the statistics report.
struct TrafficCounters {
    int32_t bytesWritten = 0;
    int32_t bytesRead = 0;
    int32_t readErrors = 0;
    int32_t writeErrors = 0;
    int32_t messagesWritten = 0;
    int32_t messagesRead = 0;
};
