// rvrelay: the minimal reference relay the benchmark measures the server against. One socket,
// one event loop, the same fan-out as the server's combined car-state packet: 23-byte car
// updates in, and every 60 ms one packet of 2 + 23 x (n - 1) bytes to each of the n clients.
// It listens on one address (loopback unless told), admits whoever asks there, answers nothing
// else, and stops by itself after --seconds.
//
// Plainly it wakes for every datagram and sends each packet by itself, as a minimal relay would.
// With --batched it is the floor for any relay of this load: it wakes only every 60 ms, reads
// everything waiting in batches and sends the packets in one batch, so the kernel's work per
// datagram is all that is left.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/Cli.h"
#include "common/PeerInbox.h"
#include "platform/Platform.h"
#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "protocol/RaceLayouts.h"

namespace {

struct Client {
    SocketAddress address;
    uint8_t record[car_update::kSize] = {RV_CARUPDATE};
};

constexpr uint64_t kPeriodMicros = 60000;

// Sends of one wake, kept until they leave (one at a time, or all in batches).
class Outbox {
  public:
    Outbox(platform::SocketHandle s, bool batched) : s_(s), batched_(batched) {}
    void send(const uint8_t* data, int size, const SocketAddress& to) {
        if (!batched_) {
            int error = 0;
            platform::udpSendTo(s_, data, size, to, error);
            return;
        }
        items_.push_back(Item{std::vector<uint8_t>(data, data + size), to});
    }
    void flush() {
        for (size_t done = 0; done < items_.size();) {
            platform::Datagram batch[platform::kBatchLimit];
            const int n = int(std::min(items_.size() - done, size_t(platform::kBatchLimit)));
            for (int i = 0; i < n; ++i) {
                Item& item = items_[done + size_t(i)];
                batch[i] = platform::Datagram{item.bytes.data(), int(item.bytes.size()), item.to};
            }
            int error = 0;
            const int took = platform::udpSendBatch(s_, batch, n, error);
            done += size_t(took > 0 ? took : 1);  // a refused datagram is dropped
        }
        items_.clear();
    }

  private:
    struct Item {
        std::vector<uint8_t> bytes;
        SocketAddress to;
    };
    platform::SocketHandle s_;
    bool batched_;
    std::vector<Item> items_;
};

// One datagram from `from`: admission, a stored car update or a sign-off.
void take(std::vector<Client>& clients, Outbox& out, const uint8_t* datagram, int n,
          const SocketAddress& from) {
    const peer::Unframed u =
        peer::unframe(datagram, n, [&](const Bytes& ack) { out.send(ack.data(), int(ack.size()), from); });
    const uint8_t* m = u.message;
    const int size = u.size;
    if (u.kind == peer::Unframed::kAcknowledgement || size < 1)
        return;
    auto it = std::find_if(clients.begin(), clients.end(),
                           [&](const Client& c) { return c.address.sameIpAndPort(from); });
    if (it == clients.end()) {
        if ((m[0] != RV_CONNECT && m[0] != RV_CONNECTRVTV) || clients.size() >= 255)
            return;
        clients.push_back(Client{from, {RV_CARUPDATE, uint8_t(clients.size() + 1)}});
        uint8_t message[acceptance::kSize] = {RV_ACCEPTED};
        ByteWriter w(message, sizeof message);
        w.seek(acceptance::kId);
        w.u8(uint8_t(clients.size()));
        out.send(message, int(sizeof message), from);
    } else if (m[0] == RV_CARUPDATE && size == int(car_update::kSize)) {
        // keep type and owner id
        std::copy(m + car_update::kSequence, m + size, it->record + car_update::kSequence);
    } else if (m[0] == RV_SIGNOFF) {
        clients.erase(it);
    }
}

// Every client's packet of the others' records.
void relayAll(const std::vector<Client>& clients, Outbox& out) {
    uint8_t packet[1024];
    for (const Client& to : clients) {
        ByteWriter w(packet, sizeof packet);
        w.u8(RV_MEGAPACKET);
        w.u8(uint8_t(clients.size() - 1));
        for (const Client& other : clients)
            if (&other != &to)
                w.bytes(other.record, sizeof other.record);
        out.send(packet, int(w.size()), to.address);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    double seconds = 60;
    bool batched = false;
    std::string listen = "127.0.0.1";
    CLI::App app{"rvrelay: reference car-state relay for the benchmark"};
    app.add_option("--port", port, "UDP port to listen on")
        ->required()
        ->check(CLI::Range(1, 65535));
    app.add_option("--listen", listen, "local IPv4 address to listen on")->capture_default_str();
    app.add_option("--seconds", seconds, "run time before it stops by itself")
        ->check(CLI::Range(0.1, 86400.0))
        ->capture_default_str();
    app.add_flag("--batched", batched, "wake only every 60 ms and move datagrams in batches");
    if (const int code = tool::parse(app, argc, argv); code >= 0)
        return code;
    const uint32_t address = platform::parseDotted(listen);
    platform::SocketHandle s = platform::udpOpen();
    if (address == 0xffffffffu || s == platform::kNoSocket ||
        !platform::udpBindTo(s, address, uint16_t(port)) || !platform::udpSetNonBlocking(s)) {
        std::fprintf(stderr, "rvrelay: cannot listen on %s port %d\n", listen.c_str(), port);
        return 1;
    }
    std::vector<Client> clients;
    Outbox out(s, batched);
    uint8_t buffer[1024];
    std::vector<uint8_t> slotBytes(size_t(platform::kBatchLimit) * 1024);
    platform::Datagram slots[platform::kBatchLimit];
    const uint64_t end = platform::monotonicMicros() + uint64_t(seconds * 1e6);
    uint64_t next = platform::monotonicMicros() + kPeriodMicros;
    for (uint64_t now = platform::monotonicMicros(); now < end; now = platform::monotonicMicros()) {
        int timeoutMs = next > now ? int((next - now + 999) / 1000) : 0;
        if (batched) {
            platform::udpRest(s, timeoutMs, false);
            for (int got = platform::kBatchLimit; got == platform::kBatchLimit;) {
                for (int i = 0; i < platform::kBatchLimit; ++i)
                    slots[i].data = slotBytes.data() + size_t(i) * 1024;
                got = platform::udpRecvBatch(s, slots, platform::kBatchLimit, 1024);
                for (int i = 0; i < got; ++i)
                    take(clients, out, slots[i].data, slots[i].size, slots[i].address);
            }
        } else if (platform::udpWaitReadable(s, timeoutMs)) {
            SocketAddress from;
            int n;
            while ((n = platform::udpRecvFrom(s, buffer, int(sizeof buffer), from)) >= 0)
                take(clients, out, buffer, n, from);
        }
        now = platform::monotonicMicros();
        if (now >= next) {
            next += kPeriodMicros;
            relayAll(clients, out);
        }
        out.flush();
    }
    platform::udpClose(s);
    return 0;
}
