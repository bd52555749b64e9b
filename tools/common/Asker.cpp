#include "common/Asker.h"

#include <chrono>

#include "common/Endpoint.h"

namespace tool {

namespace {
// Larger than any datagram the server sends, so a longer one is noticed rather than cut.
constexpr int kReceiveCapacity = 2048;
}  // namespace

Asker::Asker() : socket_(platform::udpOpen()) {
    if (socket_ != platform::kNoSocket && !platform::udpBind(socket_, 0)) {
        platform::udpClose(socket_);
        socket_ = platform::kNoSocket;
    }
}

Asker::~Asker() {
    if (socket_ != platform::kNoSocket)
        platform::udpClose(socket_);
}

bool Asker::send(const SocketAddress& server, const std::vector<uint8_t>& message,
                 std::string& error) {
    int code = 0;
    if (socket_ == platform::kNoSocket) {
        error = "cannot open a UDP socket";
        return false;
    }
    if (platform::udpSendTo(socket_, message.data(), int(message.size()), server, code) < 0) {
        error = "cannot send to " + describe(server) + " (error " + std::to_string(code) + ")";
        return false;
    }
    return true;
}

Answer Asker::ask(const SocketAddress& server, const std::vector<uint8_t>& question, int timeoutMs,
                  int retries, const AnswerCheck& check) {
    Answer answer;
    std::string setAside;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        if (!send(server, question, answer.error))
            return answer;
        const uint32_t sent = platform::monotonicMs();
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            const int elapsed = int(platform::monotonicMs() - sent);
            if (elapsed >= timeoutMs || !platform::udpWaitReadable(socket_, timeoutMs - elapsed))
                break;
            uint8_t buffer[kReceiveCapacity];
            SocketAddress from;
            const int n = platform::udpRecvFrom(socket_, buffer, sizeof buffer, from);
            if (!from.sameIpAndPort(server)) {
                setAside = "ignored an answer from another address (" + describe(from) + ")";
                continue;
            }
            if (n < 0) {
                setAside = "ignored an unreadable or oversized answer";
                continue;
            }
            std::vector<uint8_t> bytes(buffer, buffer + n);
            std::string reason = check(bytes);
            if (!reason.empty()) {
                setAside = "ignored an answer: " + reason;
                continue;
            }
            answer.ok = true;
            answer.bytes = std::move(bytes);
            answer.roundTripMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            return answer;
        }
    }
    answer.error = "no answer from " + describe(server) + " within " + std::to_string(timeoutMs) +
                   " ms (" + std::to_string(retries + 1) + (retries == 0 ? " try)" : " tries)");
    if (!setAside.empty())
        answer.error += "; " + setAside;
    return answer;
}

}  // namespace tool
