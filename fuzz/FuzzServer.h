#pragma once
// A whole server for the fuzz targets: a scratch working folder with a configuration, a clock
// the target moves, a loopback socket, and the console sent to /dev/null so that millions of
// inputs do not drown in its lines.

#include <memory>
#include <string>

#include "runtime/CRVServer.h"
#include "transport/Clock.h"

struct FuzzServer {
    // `config` goes to cfg/rvservercfg.ini; the server is loaded and initialised.
    explicit FuzzServer(const std::string& config = eventConfig());
    // A three-session event (practice, qualifying with MINLAPS, race with LOOP) for 8 clients.
    static std::string eventConfig();
    // Puts a client record for 127.0.0.1:`port` straight into the lists, as admission would.
    CRVClientConnection* attach(uint16_t port);
    // Nothing queued and no flag raised: what one input left waiting does not slow the next.
    void settle();
    // Settled, and no clients either.
    void reset();
    // Moves the clock and runs one turn.
    void turn(uint32_t ms);

    std::string folder;
    ManualClock clock;
    std::unique_ptr<CRVServer> server;
};

// A scratch folder with the server's subfolders; removed at exit.
std::string scratchFolder();
// The console goes nowhere from now on.
void silenceConsole();
