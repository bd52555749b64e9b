#pragma once
// A whole server in the test process: its own temp root folder with a configuration file, a
// fake clock, and a socket on an ephemeral loopback port. Tests drive it turn by turn.

#include <memory>
#include <string>

#include "runtime/CRVServer.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

// Turns "\n" line ends into "\r\n", as configuration files written on the simulator's home
// platform have them.
std::string crlf(const std::string& text);

// A small event: PORT=0 (any free port), one practice session of 10 minutes with a 30 s wait.
std::string defaultConfig();

// What the harness's server takes as the local wall-clock time, whatever the format.
constexpr char kLocalTime[] = "07_12_00";

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
    FakeClock clock;
    std::unique_ptr<CRVServer> server;
};

// Captures what the code under test prints to stdout.
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    std::string take();

  private:
    bool active_ = true;
};
