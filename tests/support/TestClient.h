#pragma once
// A simulator on a loopback UDP socket: sends raw or reliable datagrams to the
// server, acknowledges every reliable datagram it receives (unless told not to), and keeps
// what arrived, in order, for the test to inspect.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/SocketAddress.h"

struct Received {
    std::vector<uint8_t> bytes;     // the message, without the reliable header
    std::vector<uint8_t> datagram;  // as it arrived, header and all
    bool reliable = false;
    uint8_t type() const { return bytes.empty() ? 0 : bytes[0]; }
};

class TestClient {
  public:
    // Binds `localPort` on loopback (0: any free port); throws when it is taken.
    explicit TestClient(uint16_t serverPort, uint16_t localPort = 0);
    ~TestClient() { platform::udpClose(fd_); }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    uint16_t port() const { return port_; }
    // For peers made before the server they talk to has its port.
    void setServerPort(uint16_t port) { serverPort_ = port; }
    SocketAddress address() const { return SocketAddress::fromHost(0x7f000001, port_); }

    void sendRaw(const std::vector<uint8_t>& datagram);
    // Wraps `message` in the six-byte reliable header.
    void sendReliable(const std::vector<uint8_t>& message, uint8_t sequence);

    // Reads everything that arrives within `timeoutMs` of the last datagram (at least one
    // wait of `timeoutMs`), acknowledging reliable ones when `acknowledge` is set.
    void drain(int timeoutMs = 20) {
        while (readOne(timeoutMs)) {
        }
    }
    // Waits until a message of `type` has arrived (up to `timeoutMs`).
    bool waitFor(uint8_t type, int timeoutMs = 500);

    int count(uint8_t type) const {
        return int(std::ranges::count(received, type, &Received::type));
    }
    // The first message of `type` to arrive; throws when none has.
    const Received& first(uint8_t type) const;
    // Sequence numbers of the acknowledgements the server sent for our reliable datagrams.
    std::vector<uint8_t> acknowledgements;
    std::vector<Received> received;
    bool acknowledge = true;

  private:
    bool readOne(int timeoutMs);

    int fd_ = -1;
    uint16_t port_ = 0;
    uint16_t serverPort_;
};

// Fields written into a message through the server's own writer; `v` grows to hold them.
void putU32(std::vector<uint8_t>& v, size_t offset, uint32_t value);
void putText(std::vector<uint8_t>& v, size_t offset, const std::string& text);
