#include "LossyRelay.h"

#include <poll.h>

#include <chrono>
#include <map>
#include <queue>
#include <random>
#include <vector>

#include "platform/Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Held {
    Clock::time_point due;
    int socket;
    SocketAddress to;
    std::vector<uint8_t> bytes;
    bool operator>(const Held& other) const { return due > other.due; }
};

constexpr uint32_t kLoopback = 0x7f000001;

}  // namespace

LossyRelay::LossyRelay(uint16_t serverPort, Impairment impairment)
    : serverPort_(serverPort), impairment_(impairment) {
    listen_ = platform::udpOpen();
    platform::udpBindTo(listen_, kLoopback, 0);
    platform::udpSetNonBlocking(listen_);
    port_ = platform::udpLocalPort(listen_);
    thread_ = std::thread([this] { run(); });
}

LossyRelay::~LossyRelay() {
    stop_ = true;
    thread_.join();
    platform::udpClose(listen_);
}

void LossyRelay::run() {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> chance(0, 1);
    std::uniform_int_distribution<int> delay(0, impairment_.jitterMs);
    std::map<uint64_t, int> upstream;       // client address -> its socket to the server
    std::map<int, SocketAddress> clientOf;  // upstream socket -> the client it serves
    std::priority_queue<Held, std::vector<Held>, std::greater<>> held;
    const SocketAddress server = SocketAddress::fromHost(kLoopback, serverPort_);
    uint8_t buffer[2048];

    auto pass = [&](int socket, const SocketAddress& to, const uint8_t* data, int n) {
        ++forwarded;
        int copies = 1;
        if (impaired) {
            if (chance(random) < impairment_.loss) {
                ++lost;
                return;
            }
            if (chance(random) < impairment_.duplication) {
                ++duplicated;
                copies = 2;
            }
        }
        for (int i = 0; i < copies; ++i)
            held.push({Clock::now() + std::chrono::milliseconds(impaired ? delay(random) : 0),
                       socket, to, std::vector<uint8_t>(data, data + n)});
    };

    while (!stop_) {
        std::vector<pollfd> fds{{listen_, POLLIN, 0}};
        for (const auto& [socket, client] : clientOf)
            fds.push_back({socket, POLLIN, 0});
        int wait = 5;
        if (!held.empty()) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(held.top().due -
                                                                            Clock::now());
            wait = int(std::max<int64_t>(0, std::min<int64_t>(wait, ms.count())));
        }
        ::poll(fds.data(), fds.size(), wait);
        for (const pollfd& f : fds) {
            if (!(f.revents & POLLIN))
                continue;
            SocketAddress from;
            int n;
            while ((n = platform::udpRecvFrom(f.fd, buffer, int(sizeof buffer), from)) >= 0) {
                if (f.fd == listen_) {
                    const uint64_t key = (uint64_t(from.ip()) << 16) | from.port();
                    auto found = upstream.find(key);
                    if (found == upstream.end()) {
                        int s = platform::udpOpen();
                        platform::udpBindTo(s, kLoopback, 0);
                        platform::udpSetNonBlocking(s);
                        found = upstream.emplace(key, s).first;
                        clientOf[s] = from;
                    }
                    pass(found->second, server, buffer, n);
                } else {
                    pass(listen_, clientOf[f.fd], buffer, n);
                }
                if (!platform::udpPending(f.fd))
                    break;
            }
        }
        while (!held.empty() && held.top().due <= Clock::now()) {
            const Held& h = held.top();
            int error = 0;
            platform::udpSendTo(h.socket, h.bytes.data(), int(h.bytes.size()), h.to, error);
            held.pop();
        }
    }
    for (const auto& [socket, client] : clientOf)
        platform::udpClose(socket);
}
