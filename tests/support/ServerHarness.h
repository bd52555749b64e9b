#pragma once
// A whole server in the test process: its own temp root folder with a configuration file, a
// fake clock, and a socket on an ephemeral loopback port. Tests drive it turn by turn.

#include <functional>
#include <memory>
#include <string>
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
// Where the server records what it receives, relative to its root folder.
constexpr char kRecording[] = "server/replay/out.rvsr";
// A session's results file, relative to the root folder of a server named "Test Server".
inline std::string resultsPath(const std::string& session) {
    return "server/sessions/Test Server_" + session + "_" + kLocalTime + ".txt";
}

// Polls `done` every 5 ms for up to `ms`; whether it came true.
bool within(int ms, const std::function<bool()>& done);
// Whether `folder`'s console.txt shows the server's start-up as over (bounded by `ms`).
bool startedUp(const TempFolder& folder, int ms = 3000);

// Whether `part` occurs in `text`.
inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
// How often `part` occurs in `text`, overlaps included.
inline size_t countOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class ServerHarness {
  public:
    // `config` is written to cfg/rvservercfg.ini; an empty string writes no file at all.
    explicit ServerHarness(const std::string& config = defaultConfig());
    // Loads the configuration and initialises the server (its console output is swallowed
    // unless `quiet` is false).
    void start(bool quiet = true);

    uint16_t port() const { return server->router.socket.boundPort(); }
    // One turn at the current fake time.
    void turn() { server->update(); }
    // Moves the fake clock and runs one turn.
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

// What `run` prints to stdout.
std::string printed(const std::function<void()>& run);

// Captures what the code under test prints to stdout.
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    std::string take();

  private:
    bool active_ = true;
};
