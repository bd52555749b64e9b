#pragma once
// A whole server in the test process: its own temp root folder with a configuration file, a
// fake clock, and a socket on an ephemeral loopback port. Tests drive it turn by turn.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/CRVServer.h"
#include "support/TempFolder.h"
#include "transport/Clock.h"

// Turns "\n" line ends into "\r\n", as configuration files written on the simulator's home
// platform have them.
std::string crlf(const std::string& text);

// A small event: PORT=0 (any free port), one practice session of 10 minutes with a 30 s wait.
std::string defaultConfig();
// `config` with the line of each edit's key replaced by the edit ("KEY=new").
std::string withEdits(std::string config, const std::vector<std::string>& edits);

// What the harness's server takes as the local wall-clock time, whatever the format.
constexpr char kLocalTime[] = "07_12_00";
constexpr char kRecording[] = "server/replay/out.rvsr";
// A session's results file, relative to the root folder of a server named "Test Server".
inline std::string resultsPath(const std::string& session) {
    return "server/sessions/Test Server_" + session + "_" + kLocalTime + ".txt";
}

// Polls `done` every 5 ms for up to `ms`; whether it came true.
bool within(int ms, const std::function<bool()>& done);
// Whether `folder`'s console.txt shows the server's start-up as over (bounded by `ms`).
bool startedUp(const TempFolder& folder, int ms = 3000);

inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
// Overlaps included.
inline size_t countOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class ServerHarness {
  public:
    // An empty `config` writes no configuration file at all.
    explicit ServerHarness(const std::string& config = defaultConfig());
    // Loads the configuration and initialises the server, its console swallowed if `quiet`.
    void start(bool quiet = true);

    uint16_t port() const { return server->router.socket.boundPort(); }
    void turn() { server->update(); }
    void advance(uint32_t ms) {
        clock.advance(ms);
        server->update();
    }
    // Waits (real time, bounded) until a datagram has reached the server, then runs one turn.
    bool receiveTurn(int timeoutMs = 500);

    TempFolder folder;
    ManualClock clock;
    std::unique_ptr<CRVServer> server;
};

// Captures what the code under test prints to stdout until taken or gone.
class StdoutCapture {
  public:
    StdoutCapture() {
        std::fflush(stdout);
        testing::internal::CaptureStdout();
    }
    ~StdoutCapture() { take(); }
    std::string take() {
        std::fflush(stdout);
        return std::exchange(active_, false) ? testing::internal::GetCapturedStdout() : "";
    }

  private:
    bool active_ = true;
};

inline std::string printed(const std::function<void()>& run) {
    StdoutCapture out;
    run();
    return out.take();
}
