// rvrelay: the minimal reference relay the benchmark measures the server against. One socket,
// one event loop, the same fan-out as the server's combined car-state packet: 23-byte car
// updates in, and every 60 ms one packet of 2 + 23 x (n - 1) bytes to each of the n clients.
// It listens on one address (loopback unless told), admits whoever asks there, answers nothing
// else, and stops by itself after --seconds.
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

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    double seconds = 60;
    std::string listen = "127.0.0.1";
    CLI::App app{"rvrelay: reference car-state relay for the benchmark"};
    app.add_option("--port", port, "UDP port to listen on")
        ->required()
        ->check(CLI::Range(1, 65535));
    app.add_option("--listen", listen, "local IPv4 address to listen on")->capture_default_str();
    app.add_option("--seconds", seconds, "run time before it stops by itself")
        ->check(CLI::Range(0.1, 86400.0))
        ->capture_default_str();
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
    uint8_t buffer[1024];
    uint8_t packet[1024];
    const uint64_t end = platform::monotonicMicros() + uint64_t(seconds * 1e6);
    uint64_t next = platform::monotonicMicros() + kPeriodMicros;
    for (uint64_t now = platform::monotonicMicros(); now < end; now = platform::monotonicMicros()) {
        int timeoutMs = next > now ? int((next - now + 999) / 1000) : 0;
        if (platform::udpWaitReadable(s, timeoutMs)) {
            SocketAddress from;
            int n;
            while ((n = platform::udpRecvFrom(s, buffer, int(sizeof buffer), from)) >= 0) {
                int error = 0;
                const peer::Unframed u = peer::unframe(buffer, n, [&](const Bytes& ack) {
                    platform::udpSendTo(s, ack.data(), int(ack.size()), from, error);
                });
                const uint8_t* m = u.message;
                const int size = u.size;
                if (u.kind == peer::Unframed::kAcknowledgement || size < 1)
                    continue;
                auto it = std::find_if(clients.begin(), clients.end(), [&](const Client& c) {
                    return c.address.sameIpAndPort(from);
                });
                if (it == clients.end()) {
                    if ((m[0] != RV_CONNECT && m[0] != RV_CONNECTRVTV) || clients.size() >= 255)
                        continue;
                    clients.push_back(Client{from, {RV_CARUPDATE, uint8_t(clients.size() + 1)}});
                    uint8_t message[acceptance::kSize] = {RV_ACCEPTED};
                    ByteWriter w(message, sizeof message);
                    w.seek(acceptance::kId);
                    w.u8(uint8_t(clients.size()));
                    platform::udpSendTo(s, message, int(sizeof message), from, error);
                } else if (m[0] == RV_CARUPDATE && size == int(car_update::kSize)) {
                    // keep type and owner id
                    std::copy(m + car_update::kSequence, m + size,
                              it->record + car_update::kSequence);
                } else if (m[0] == RV_SIGNOFF) {
                    clients.erase(it);
                }
            }
        }
        now = platform::monotonicMicros();
        if (now < next)
            continue;
        next += kPeriodMicros;
        for (const Client& to : clients) {
            ByteWriter w(packet, sizeof packet);
            w.u8(RV_MEGAPACKET);
            w.u8(uint8_t(clients.size() - 1));
            for (const Client& other : clients)
                if (&other != &to)
                    w.bytes(other.record, sizeof other.record);
            int error = 0;
            platform::udpSendTo(s, packet, int(w.size()), to.address, error);
        }
    }
    platform::udpClose(s);
    return 0;
}
