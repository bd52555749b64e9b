#pragma once

#include <cstdint>

#include "platform/SocketAddress.h"

struct PendingReliable;

// Receiver of decoded messages and judge of reliable resends.
class OVMessageListener {
  public:
    // `data` is writable: some handlers rewrite bytes in place before passing a message on.
    virtual void onMessage(uint8_t* data, int size, const SocketAddress* source) = 0;
    virtual void onReliableAcknowledged(const PendingReliable&) {}
    // True to send the message again, false to give it up.
    virtual bool onReliableResend(const PendingReliable& record) = 0;
    virtual ~OVMessageListener() = default;
};
