#pragma once
// A whole server in the test process: its own temp root folder with a configuration file, a
// fake clock, and a socket on an ephemeral loopback port. Tests drive it turn by turn.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/CRVServer.h"
#include "support/TempFolder.h"
#include "transport/Clock.h"
#include "util/LineEnds.h"

inline std::string crlf(const std::string& text) {
    return withCrlf(text);
}

// A small event: PORT=0 (any free port), one practice session of 10 minutes with a 30 s wait.
inline std::string defaultConfig() {
    return crlf(
        "[CONFIGURATION]\nMAXCLIENTS=8\nACCEPTVERSION=131\nNAME=Test Server\nTRACK=testring\n"
        "CONFIGURATION=short\nCAR=gt1;gt2;\nPASSWORD=\nADMIN=boss\nREGISTER=0\nPORT=0\n"
        "BANDWIDTH=10000\nLOOP=0\nWINNERBALLAST=0\nFULLMODE=1\nFRONTTIRE=front.rvt\n"
        "REARTIRE=rear.rvt\nRAIN=0\nDAMAGE=1\nMAXVALIDLAPS=100\nSESSIONS=1\n"
        "[SESSION0]\nESCMODE=0\nTYPE=0\nMAXLAPS=0\nMINLAPS=0\nNAME=Practice\nRACELAPS=5\n"
        "WAITTIME=30\nSESTIME=10\nACCEPTNEW=1\n");
}
// `config` with the line of each edit's key replaced by the edit ("KEY=new").
inline std::string withEdits(std::string config, const std::vector<std::string>& edits) {
    for (const std::string& edit : edits) {
        const size_t at = config.find("\n" + edit.substr(0, edit.find('=') + 1)) + 1;
        EXPECT_NE(at, 0u) << edit;
        config.replace(at, config.find('\r', at) - at, edit);
    }
    return config;
}

// What the harness's server takes as the local wall-clock time, whatever the format.
constexpr char kLocalTime[] = "07_12_00";
constexpr char kRecording[] = "server/replay/out.rvsr";
// A session's results file, relative to the root folder of a server named "Test Server".
inline std::string resultsPath(const std::string& session) {
    return "server/sessions/Test Server_" + session + "_" + kLocalTime + ".txt";
}

// Polls `done` every 5 ms for up to `ms`; whether it came true.
inline bool within(int ms, const std::function<bool()>& done) {
    for (int waited = 0; !done(); waited += 5, ::usleep(5000))
        if (waited >= ms)
            return false;
    return true;
}
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

class ServerHarness {
  public:
    // An empty `config` writes no configuration file at all; `files` stands in for the disk.
    explicit ServerHarness(const std::string& config = defaultConfig(),
                           platform::Files* files = nullptr) {
        if (!config.empty())
            folder.write("cfg/rvservercfg.ini", config);
        for (const char* sub : {"logs", "users", "sessions", "replay"})
            folder.makeFolder(std::string("server/") + sub);
        ServerEnvironment env;
        env.clock = &clock;
        env.root = folder.path() + "/";
        env.documentsFolder = folder.path() + "/no-documents";
        env.localTime = [](const char*) { return std::string(kLocalTime); };
        env.files = files;
        server = std::make_unique<CRVServer>(env);
    }
    // Loads the configuration and initialises the server; returns its console.
    std::string start() {
        return printed([&] {
            server->loadConfiguration();
            server->initialize();
        });
    }

    uint16_t port() const { return server->router.socket.boundPort(); }
    void turn() { server->update(); }
    void advance(uint32_t ms) {
        clock.advance(ms);
        server->update();
    }
    // Waits (real time, bounded) until a datagram has reached the server, then runs one turn.
    bool receiveTurn(int timeoutMs = 500) {
        const bool arrived = server->router.socket.waitReadable(timeoutMs);
        server->update();
        return arrived;
    }

    TempFolder folder;
    ManualClock clock;
    std::unique_ptr<CRVServer> server;
};
