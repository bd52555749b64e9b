#include "support/TestClient.h"

#include <algorithm>
#include <stdexcept>

#include "common/PeerInbox.h"
#include "platform/Platform.h"
#include "protocol/ByteWriter.h"

// The socket calls are the platform layer's and the framing the tools' client side; the
// bookkeeping is the test's own.
TestClient::TestClient(uint16_t serverPort, uint16_t localPort) : serverPort_(serverPort) {
    fd_ = platform::udpOpen();
    if (fd_ < 0 || !platform::udpBindTo(fd_, 0x7f000001, localPort))
        throw std::runtime_error("cannot bind a loopback UDP port");
    port_ = platform::udpLocalPort(fd_);
}

void TestClient::sendRaw(const std::vector<uint8_t>& datagram) {
    int error = 0;
    platform::udpSendTo(fd_, datagram.data(), int(datagram.size()),
                        SocketAddress::fromHost(0x7f000001, serverPort_), error);
}

void TestClient::sendReliable(const std::vector<uint8_t>& message, uint8_t sequence) {
    sendRaw(peer::reliable(message, sequence, port_));
}

bool TestClient::readOne(int timeoutMs) {
    uint8_t buf[2048];
    SocketAddress from;
    const int n = platform::udpWaitReadable(fd_, timeoutMs)
                      ? platform::udpRecvFrom(fd_, buf, sizeof buf, from)
                      : -1;
    if (n < 0)
        return false;
    const peer::Unframed u = acknowledge
                                 ? peer::unframe(buf, n, [&](const Bytes& ack) { sendRaw(ack); })
                                 : peer::unframe(buf, n);
    if (u.kind == peer::Unframed::kAcknowledgement)
        acknowledgements.push_back(u.sequence);
    else
        received.push_back({Bytes(u.message, u.message + u.size), Bytes(buf, buf + n),
                            u.kind == peer::Unframed::kReliable});
    return true;
}

bool TestClient::waitFor(uint8_t type, int timeoutMs) {
    for (int waited = 0; count(type) == 0 && waited < timeoutMs; waited += 10)
        while (readOne(10) && count(type) == 0) {
        }
    return count(type) > 0;
}

const Received& TestClient::first(uint8_t type) const {
    const auto it = std::ranges::find(received, type, &Received::type);
    if (it == received.end())
        throw std::out_of_range("no message of that type");
    return *it;
}

namespace {

// A writer at `offset` of `v`, which grows to hold `size` bytes there.
ByteWriter writerAt(std::vector<uint8_t>& v, size_t offset, size_t size) {
    v.resize(std::max(v.size(), offset + size));
    ByteWriter w(v.data(), v.size());
    w.seek(offset);
    return w;
}

}  // namespace

void putU32(std::vector<uint8_t>& v, size_t offset, uint32_t value) {
    writerAt(v, offset, 4).u32(value);
}

void putText(std::vector<uint8_t>& v, size_t offset, const std::string& text) {
    writerAt(v, offset, text.size() + 1).text(text, text.size() + 1);
}
