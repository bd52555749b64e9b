#include "transport/OVSocket.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/Platform.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"
#include "transport/Clock.h"
#include "transport/Framing.h"

namespace {

// Car updates are only relayed in the next combined packet and acknowledgements answer
// nothing, so neither needs a turn before the planned one; anything else may be answered, and
// a car that retires is announced. The kernel steers the same way (udpOpenSteered).
const platform::StreamRule kCanWait{framing::kAcknowledgement,
                                    {RV_CARUPDATE, RV_CARUPDATEHV},
                                    uint32_t(car_update::kFlags),
                                    car_update::kRetiredBit};

// Empty and oversized datagrams are dropped without a word, so they need no turn either.
bool needsPromptTurn(const platform::Datagram& d) {
    return d.size >= 1 && !kCanWait.takes(d.data, d.size);
}

void reportSendFailure(int error, int size) {
    if (error == 10055)
        std::printf("WSAENOBUFS\n");
    if (error == 10039)
        std::printf("WSAEDESTADDRREQ\n");
    if (error == 10035)
        std::printf("WSAEWOULDBLOCK\n");
    std::printf("sendto failed %d %d\n", error, size);
}

}  // namespace

OVSocket::OVSocket(ServerClock* clock)
    : clock_(clock),
      inboxBytes_(size_t(kInboxSlots) * kReceiveLength),
      sendBatch_(platform::udpSendBatch) {
    for (int i = 0; i < kInboxSlots; ++i)
        inbox_[size_t(i)].data = inboxBytes_.data() + size_t(i) * kReceiveLength;
}

OVSocket::~OVSocket() {
    closeSockets();
}

void OVSocket::closeSockets() {
    for (platform::SocketHandle* h : {&handle_, &stream_}) {
        if (*h != platform::kNoSocket)
            platform::udpClose(*h);
        *h = platform::kNoSocket;
    }
}

uint16_t OVSocket::boundPort() const {
    return handle_ == platform::kNoSocket ? 0 : platform::udpLocalPort(handle_);
}

bool OVSocket::waitReadable(int timeoutMs) const {
    if (hasWaiting())
        return true;
    if (stream_ != platform::kNoSocket) {
        std::vector<uint8_t> ready;
        return platform::udpWaitAny({handle_, stream_}, timeoutMs, ready);
    }
    return handle_ != platform::kNoSocket && platform::udpWaitReadable(handle_, timeoutMs);
}

bool OVSocket::rest(int timeoutMs, int answerWithinMs) {
    if (hasWaiting())
        return true;
    if (handle_ == platform::kNoSocket)
        return false;
    const uint32_t start = platform::monotonicMs();
    auto left = [&] { return timeoutMs - int(platform::monotonicMs() - start); };
    for (int ms = left(); ms > 0; ms = left()) {
        // What arrives in the last stretch is read by the turn soon enough: no need to wake.
        const platform::RestEnd end = platform::udpRest(handle_, ms, ms > answerWithinMs);
        if (end != platform::RestEnd::kReadable)
            return false;
        if (takeWaiting())
            return true;
        // Car updates and acknowledgements that come close together are a stream: rather than
        // wake for each, the socket goes unwatched for as long as an answer may wait, and what
        // came meanwhile is read in one go. One that comes alone costs no second wake-up.
        const uint32_t now = platform::monotonicMs();
        const bool close = now - lastWake_ < uint32_t(answerWithinMs);
        lastWake_ = now;
        const int quiet = std::min(answerWithinMs, left());
        if (!close || quiet <= 0)
            continue;
        if (platform::udpRest(handle_, quiet, false) == platform::RestEnd::kInterrupted)
            return false;
        if (left() > 0 && takeWaiting())
            return true;
        lastWake_ = platform::monotonicMs();
    }
    return false;
}

int OVSocket::fillInbox(bool& drained) {
    // Slots already taken go to the back, keeping the untaken ones in order at the front.
    std::rotate(inbox_.begin(), inbox_.begin() + inboxNext_, inbox_.begin() + inboxCount_);
    inboxCount_ -= inboxNext_;
    inboxNext_ = 0;
    const int first = inboxCount_;
    // What can wait is read first: it has been held since the last read, the prompt ones woke
    // the loop just now.
    drained = true;
    for (platform::SocketHandle h : {stream_, handle_}) {
        if (h == platform::kNoSocket)
            continue;
        const int room = kInboxSlots - inboxCount_;
        const int got = room > 0 ? platform::udpRecvBatch(h, inbox_.data() + inboxCount_, room,
                                                          kReceiveLength)
                                 : 0;
        inboxCount_ += got;
        if (got == room)
            drained = false;
    }
    // Two sockets, one arrival order: the kernel's stamps put them back in it.
    if (stream_ != platform::kNoSocket)
        std::stable_sort(inbox_.begin(), inbox_.begin() + inboxCount_,
                         [](const platform::Datagram& a, const platform::Datagram& b) {
                             return a.arrivalNs < b.arrivalNs;
                         });
    mayHoldMore_ = !drained;
    return first;
}

bool OVSocket::takeWaiting() {
    if (handle_ == platform::kNoSocket)
        return false;
    bool drained = false;
    fillInbox(drained);
    if (!drained)
        return true;
    for (int i = 0; i < inboxCount_; ++i)
        if (needsPromptTurn(inbox_[size_t(i)]))
            return true;
    return false;
}

uint32_t OVSocket::tick() const {
    return clock_ != nullptr ? clock_->tickCount() : 0;
}

void OVSocket::init(bool bind) {
    if (bind) {
        std::printf("BINDING\n");
        std::printf("myport=%d\n", localPort_);
        // Datagrams that can wait come in through a second socket of the same port, which
        // the rest does not watch; without the kernel's help, one socket takes everything.
        if (!platform::udpOpenSteered(uint16_t(localPort_), kCanWait, handle_, stream_)) {
            handle_ = platform::udpOpen();
            platform::udpBind(handle_, uint16_t(localPort_));
        }
    } else {
        handle_ = platform::udpOpen();
    }
    std::printf("Init non-blocking socket mode\n");
    platform::udpSetNonBlocking(handle_);
    int m = platform::udpMaxMessageSize(handle_);
    std::printf("Max buffer size=%d\n", m);
    if (platform::udpSetSendBuffer(handle_, m))
        std::printf("Send buffer set to %d\n", m);
    if (platform::udpSetRecvBuffer(handle_, m))
        std::printf("Recv buffer set to %d\n", m);
    std::printf("Send buffer=%d\n", platform::udpGetSendBuffer(handle_));
    std::printf("Recv buffer=%d\n", platform::udpGetRecvBuffer(handle_));
    if (stream_ != platform::kNoSocket) {
        platform::udpSetNonBlocking(stream_);
        // Car updates wait here for up to a packet interval: 32 drivers at 60 a second.
        platform::udpSetRecvBuffer(stream_, kStreamBuffer);
    }
}

bool OVSocket::rebind(uint16_t port) {
    closeSockets();
    localPort_ = port;
    init(true);
    return boundPort() == port;
}

void OVSocket::setTarget(const SocketAddress& address, uint16_t port) {
    target_ = address;
    targetPort_ = address.port();
    if (port != 0) {
        target_.setPort(port);
        targetPort_ = port;
        std::printf("setTarget() port=%d\n", port);
    }
}

void OVSocket::setTarget(const char* dotted, uint16_t port) {
    target_ = SocketAddress::fromHost(platform::parseDotted(dotted), port);
    targetPort_ = port;
}

bool OVSocket::send(const uint8_t* data, int size) {
    if (muted)
        return true;
    if (size > 1024) {
        std::printf("WARNING psize>1024");
        platform::alert("orvel", "ERROR psize>1024");
    }
    if (size < 1)
        std::printf("WARNING psize<=0");
    queueDatagram(data, size, target_);
    return true;
}

void OVSocket::queueDatagram(const uint8_t* data, int size, const SocketAddress& to) {
    if (unsent_.size() >= kMaxUnsent) {
        reportSendFailure(10035, size);
        return;
    }
    unsent_.push_back(Unsent{unsentBytes_.size(), size, to});
    if (size > 0)
        unsentBytes_.insert(unsentBytes_.end(), data, data + size);
    if (!holding_ || unsent_.size() >= size_t(platform::kBatchLimit))
        flushSends();
}

void OVSocket::holdSends(bool hold) {
    holding_ = hold;
    if (!hold)
        flushSends();
}

void OVSocket::flushSends() {
    size_t done = 0;
    while (done < unsent_.size()) {
        platform::Datagram batch[platform::kBatchLimit];
        const int n = int(std::min(unsent_.size() - done, size_t(platform::kBatchLimit)));
        for (int i = 0; i < n; ++i) {
            const Unsent& u = unsent_[done + size_t(i)];
            batch[i] = platform::Datagram{unsentBytes_.data() + u.offset, u.size, u.to};
        }
        int error = 0;
        const int took = sendBatch_(handle_, batch, n, error);
        done += size_t(took);
        if (took > 0)
            continue;
        // A full buffer takes the rest at the next flush, in order; a refusal for one address
        // costs that datagram only.
        if (error == 10035 || error == 10055 || error == 0)
            break;
        reportSendFailure(error, unsent_[done].size);
        ++done;
    }
    if (done == unsent_.size()) {
        unsent_.clear();
        unsentBytes_.clear();
        return;
    }
    const size_t from = unsent_[done].offset;
    unsentBytes_.erase(unsentBytes_.begin(), unsentBytes_.begin() + ptrdiff_t(from));
    unsent_.erase(unsent_.begin(), unsent_.begin() + ptrdiff_t(done));
    for (Unsent& u : unsent_)
        u.offset -= from;
}

int OVSocket::receive(int maxDatagrams) {
    source_.clear();
    int count = 0;
    if (feed_ != nullptr) {
        uint8_t* data = nullptr;
        int size = 0;
        while (count < maxDatagrams && feed_->next(data, size, source_)) {
            deliver(data, size, source_);
            ++count;
        }
        return count;
    }
    // One read takes every datagram waiting; a read that leaves none behind ends the step.
    bool drained = std::exchange(skipRead_, false);
    while (count < maxDatagrams) {
        if (inboxNext_ == inboxCount_) {
            if (drained || handle_ == platform::kNoSocket)
                break;
            fillInbox(drained);
            if (inboxNext_ == inboxCount_)
                break;
        }
        platform::Datagram& d = inbox_[size_t(inboxNext_++)];
        source_ = d.address;
        // An empty or oversized datagram ends the step; the ones behind it wait for the next.
        if (d.size < 1)
            break;
        handle(d.data, d.size);
        ++count;
    }
    return count;
}

void OVSocket::handle(uint8_t* data, int n) {
    uint8_t kind = data[0];
    if (kind == framing::kReliableData) {
        // Acknowledge before delivering: the handler may take long or send a reply itself.
        uint8_t ack[framing::kAcknowledgementSize];
        ByteWriter w(ack, sizeof ack);
        framing::writeAcknowledgement(w, n >= 2 ? data[1] : uint8_t(0));
        queueDatagram(ack, int(sizeof ack), source_);
        deliver(data + kReliableHeader, n - kReliableHeader, source_);
    } else if (kind == framing::kAcknowledgement) {
        // An acknowledgement without its sequence byte names nothing to remove.
        if (n >= 2)
            onAcknowledgement(data[1], source_);
    } else {
        deliver(data, n, source_);
    }
}

void OVSocket::deliver(uint8_t* data, int size, const SocketAddress& source) {
    if (size < 1)
        std::printf("WARNING msize <=0\n");
    // Listeners may add listeners or send while we walk; index the list instead of iterating.
    for (size_t i = 0; i < listeners_.size(); ++i)
        listeners_[i]->onMessage(data, size, &source);
}
