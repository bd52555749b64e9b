#pragma once
// The server's one UDP endpoint: binding, sending to a current target, draining waiting
// datagrams, and reliable delivery (sequence numbers, pending copies, acknowledgements, resends).

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <vector>

#include "platform/Platform.h"
#include "platform/SocketAddress.h"
#include "transport/Budgets.h"
#include "transport/Framing.h"
#include "transport/OVMessageListener.h"

class ServerClock;

// Stands in for the network: a socket given a feed takes its received messages from it and
// sends nothing (a recorded event replayed offline).
class MessageFeed {
  public:
    virtual ~MessageFeed() = default;
    // The next message that has arrived by now, as the socket would deliver it; false when
    // none has. `data` stays valid until the next call.
    virtual bool next(uint8_t*& data, int& size, SocketAddress& from) = 0;
};

// One reliable message sent and not yet acknowledged or given up.
struct PendingReliable {
    static constexpr int kMaxData = 1000;
    uint8_t sequence = 0;
    SocketAddress target;
    uint32_t lastSent = 0;
    int size = 0;
    std::vector<uint8_t> data;  // the message's own bytes only
    uint8_t resendCount = 0;
};

class OVSocket {
  public:
    static constexpr int kReceiveLength = 1000;
    static constexpr int kReliableHeader = framing::kReliableHeader;
    static constexpr uint32_t kResendIntervalMs = 5000;
    // More unacknowledged messages than any real event has; past it, a message is sent once
    // and kept for no resend.
    static constexpr size_t kMaxPending = 4096;

    // Datagrams read in one go wait here, in arrival order, for the receive step.
    static constexpr int kInboxSlots = platform::kBatchLimit;
    // Sends the kernel has not taken yet; past this many a new one fails as on a full buffer.
    static constexpr size_t kMaxUnsent = 4096;
    // The kernel's batch send, replaceable so that a kernel taking part of a batch can be played.
    using BatchSender =
        std::function<int(platform::SocketHandle, const platform::Datagram*, int, int&)>;

    explicit OVSocket(ServerClock* clock = nullptr);
    virtual ~OVSocket();
    OVSocket(const OVSocket&) = delete;
    OVSocket& operator=(const OVSocket&) = delete;

    void setClock(ServerClock* clock) { clock_ = clock; }
    void setLocalPort(int port) { localPort_ = port; }
    int localPort() const { return localPort_; }
    // The port the OS actually bound (differs from localPort() only when that was 0).
    uint16_t boundPort() const;

    void init(bool bind);
    // Closes the socket and binds `port` instead; false when that port could not be bound.
    bool rebind(uint16_t port);
    // Instead of init(): no OS socket; messages come from `feed`, sends go nowhere.
    void attachFeed(MessageFeed* feed) {
        feed_ = feed;
        muted = true;
    }
    void setTarget(const SocketAddress& address, uint16_t port);
    void setTarget(const char* dotted, uint16_t port);
    const SocketAddress& target() const { return target_; }

    bool send(const uint8_t* data, int size);
    bool sendReliable(const uint8_t* data, int size);
    int receive(int maxDatagrams);
    // Blocks up to `timeoutMs` until a datagram waits (already read or still in the kernel).
    bool waitReadable(int timeoutMs) const;
    // The main loop's rest before a turn `timeoutMs` ahead. A datagram ends it early only when
    // it needs an answer; one that can wait for the turn is read and held, and the socket goes
    // unwatched for `answerWithinMs`, so nothing that needs an answer waits longer than that.
    // True when a datagram ended the rest.
    bool rest(int timeoutMs, int answerWithinMs);
    // Reads every waiting datagram into the inbox; true when one of them needs an answer
    // before the turn, or more wait than the inbox holds.
    bool takeWaiting();
    // True when read datagrams are held, or when the last read filled the inbox (a receive step
    // that stopped at its cap may have left more in the kernel).
    bool hasWaiting() const { return inboxNext_ < inboxCount_ || mayHoldMore_; }

    // While held, sends collect in order and leave together at flushSends(); otherwise each
    // leaves at once. The main loop holds them from one rest to the next.
    // The next receive step takes what is read and held but does not ask the kernel: the
    // caller has just read everything it had.
    void skipNextRead() { skipRead_ = true; }
    void holdSends(bool hold);
    void flushSends();
    size_t unsentCount() const { return unsent_.size(); }
    void setBatchSender(BatchSender sender) { sendBatch_ = std::move(sender); }
    void resendDue();

    void addListener(OVMessageListener* listener) { listeners_.push_back(listener); }
    const std::vector<OVMessageListener*>& listeners() const { return listeners_; }
    const std::list<std::unique_ptr<PendingReliable>>& pending() const { return pending_; }
    int nextSequence() const { return nextSequence_; }
    const SocketAddress& sourceAddress() const { return source_; }

    // While set, sends report success and nothing leaves (replay playback answers no one).
    bool muted = false;

  private:
    static constexpr int kStreamBuffer = 1 << 20;
    struct Unsent {
        size_t offset = 0;
        int size = 0;
        SocketAddress to;
    };
    void closeSockets();
    void handle(uint8_t* data, int n);
    int fillInbox(bool& drained);
    void queueDatagram(const uint8_t* data, int size, const SocketAddress& to);
    void deliver(uint8_t* data, int size, const SocketAddress& source);
    void onAcknowledgement(uint8_t sequence, const SocketAddress& source);
    bool resendAttempt(PendingReliable& record);
    int buildReliable(uint8_t* out, uint8_t sequence, const uint8_t* data, int size) const;
    uint32_t tick() const;

    ServerClock* clock_;
    MessageFeed* feed_ = nullptr;
    // Every send and every datagram that may need an answer; the rest watches this one.
    platform::SocketHandle handle_ = platform::kNoSocket;
    // Datagrams that can wait for the next turn, when the kernel can steer them apart.
    platform::SocketHandle stream_ = platform::kNoSocket;
    int localPort_ = 666;
    uint16_t targetPort_ = 0;
    std::vector<uint8_t> inboxBytes_;
    std::array<platform::Datagram, kInboxSlots> inbox_{};
    int inboxNext_ = 0;
    int inboxCount_ = 0;
    bool mayHoldMore_ = false;
    // When the rest last woke for datagrams that could wait.
    uint32_t lastWake_ = 0;
    bool skipRead_ = false;
    bool holding_ = false;
    std::vector<Unsent> unsent_;
    std::vector<uint8_t> unsentBytes_;
    BatchSender sendBatch_;
    SocketAddress source_;
    std::vector<OVMessageListener*> listeners_;
    std::list<std::unique_ptr<PendingReliable>> pending_;
    // No pending record was sent before this tick, so the resend scan can skip the list until
    // the interval has passed since then.
    uint32_t oldestSent_ = 0;
    DropReport unkeptReliable_{"reliable messages sent without a resend copy (too many pending)"};
    SocketAddress target_;
    int nextSequence_ = 0;
};
