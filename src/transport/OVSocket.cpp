#include "transport/OVSocket.h"

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"
#include "transport/Clock.h"
#include "transport/Framing.h"

OVSocket::~OVSocket() {
    if (handle_ != platform::kNoSocket)
        platform::udpClose(handle_);
}

uint16_t OVSocket::boundPort() const {
    return handle_ == platform::kNoSocket ? 0 : platform::udpLocalPort(handle_);
}

bool OVSocket::waitReadable(int timeoutMs) const {
    return handle_ != platform::kNoSocket && platform::udpWaitReadable(handle_, timeoutMs);
}

uint32_t OVSocket::tick() const {
    return clock_ != nullptr ? clock_->tickCount() : 0;
}

void OVSocket::init(bool bind) {
    handle_ = platform::udpOpen();
    if (bind) {
        std::printf("BINDING\n");
        std::printf("myport=%d\n", localPort_);
        platform::udpBind(handle_, uint16_t(localPort_));
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
}

bool OVSocket::rebind(uint16_t port) {
    if (handle_ != platform::kNoSocket)
        platform::udpClose(handle_);
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
    int error = 0;
    int sent = platform::udpSendTo(handle_, data, size, target_, error);
    if (sent != size) {
        if (error == 10055)
            std::printf("WSAENOBUFS\n");
        if (error == 10039)
            std::printf("WSAEDESTADDRREQ\n");
        if (error == 10035)
            std::printf("WSAEWOULDBLOCK\n");
        std::printf("sendto failed %d %d\n", error, size);
    }
    return true;
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
    while (count < maxDatagrams) {
        if (!platform::udpPending(handle_))
            break;
        int n = platform::udpRecvFrom(handle_, receiveBuffer_, kReceiveLength, source_);
        if (n < 1)
            break;
        uint8_t kind = receiveBuffer_[0];
        if (kind == framing::kReliableData) {
            // Acknowledge before delivering: the handler may take long or send a reply itself.
            uint8_t ack[framing::kAcknowledgementSize];
            ByteWriter w(ack, sizeof ack);
            framing::writeAcknowledgement(w, n >= 2 ? receiveBuffer_[1] : uint8_t(0));
            int error = 0;
            platform::udpSendTo(handle_, ack, int(sizeof ack), source_, error);
            deliver(receiveBuffer_ + kReliableHeader, n - kReliableHeader, source_);
        } else if (kind == framing::kAcknowledgement) {
            // An acknowledgement without its sequence byte names nothing to remove.
            if (n >= 2)
                onAcknowledgement(receiveBuffer_[1], source_);
        } else {
            deliver(receiveBuffer_, n, source_);
        }
        ++count;
    }
    return count;
}

void OVSocket::deliver(uint8_t* data, int size, const SocketAddress& source) {
    if (size < 1)
        std::printf("WARNING msize <=0\n");
    // Listeners may add listeners or send while we walk; index the list instead of iterating.
    for (size_t i = 0; i < listeners_.size(); ++i)
        listeners_[i]->onMessage(data, size, &source);
}
