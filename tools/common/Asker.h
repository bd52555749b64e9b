#pragma once
// One question to a server over UDP and a bounded wait for its answer. Datagrams from any other
// address, and answers the caller's check turns down, are set aside and the wait goes on; when
// the time is up the reason names what did arrive, so a script sees why nothing was accepted.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/SocketAddress.h"

namespace tool {

// Looks at an answer from the right address; returns "" to accept it, or why it is not one.
using AnswerCheck = std::function<std::string(const std::vector<uint8_t>& answer)>;

struct Answer {
    bool ok = false;
    std::vector<uint8_t> bytes;
    double roundTripMs = 0;
    std::string error;  // one line, when not ok
};

class Asker {
  public:
    Asker();
    ~Asker();
    Asker(const Asker&) = delete;
    Asker& operator=(const Asker&) = delete;

    // Sends `question` to `server` and waits up to `timeoutMs` for an accepted answer; does so
    // `1 + retries` times in all.
    Answer ask(const SocketAddress& server, const std::vector<uint8_t>& question, int timeoutMs,
               int retries, const AnswerCheck& check);
    // Sends without waiting for anything (console commands have no answer).
    bool send(const SocketAddress& server, const std::vector<uint8_t>& message, std::string& error);

  private:
    platform::SocketHandle socket_;
};

}  // namespace tool
