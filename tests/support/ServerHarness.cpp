#include "support/ServerHarness.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

#include "util/LineEnds.h"

std::string crlf(const std::string& text) {
    return withCrlf(text);
}

std::string defaultConfig() {
    return crlf(
        "[CONFIGURATION]\n"
        "MAXCLIENTS=8\n"
        "ACCEPTVERSION=131\n"
        "NAME=Test Server\n"
        "TRACK=testring\n"
        "CONFIGURATION=short\n"
        "CAR=gt1;gt2;\n"
        "PASSWORD=\n"
        "ADMIN=boss\n"
        "REGISTER=0\n"
        "PORT=0\n"
        "BANDWIDTH=10000\n"
        "LOOP=0\n"
        "WINNERBALLAST=0\n"
        "FULLMODE=1\n"
        "FRONTTIRE=front.rvt\n"
        "REARTIRE=rear.rvt\n"
        "RAIN=0\n"
        "DAMAGE=1\n"
        "MAXVALIDLAPS=100\n"
        "SESSIONS=1\n"
        "[SESSION0]\n"
        "ESCMODE=0\n"
        "TYPE=0\n"
        "MAXLAPS=0\n"
        "MINLAPS=0\n"
        "NAME=Practice\n"
        "RACELAPS=5\n"
        "WAITTIME=30\n"
        "SESTIME=10\n"
        "ACCEPTNEW=1\n");
}

std::string withEdits(std::string c, const std::vector<std::string>& edits) {
    for (const std::string& edit : edits) {
        const size_t at = c.find("\n" + edit.substr(0, edit.find('=') + 1)) + 1;
        EXPECT_NE(at, 0u) << edit;
        c.replace(at, c.find('\r', at) - at, edit);
    }
    return c;
}

ServerHarness::ServerHarness(const std::string& config) {
    if (!config.empty())
        folder.write("cfg/rvservercfg.ini", config);
    folder.makeFolder("server/logs");
    folder.makeFolder("server/users");
    folder.makeFolder("server/sessions");
    folder.makeFolder("server/replay");
    ServerEnvironment env;
    env.clock = &clock;
    env.root = folder.path() + "/";
    env.documentsFolder = folder.path() + "/no-documents";
    env.localTime = [](const char*) { return std::string(kLocalTime); };
    server = std::make_unique<CRVServer>(env);
}

void ServerHarness::start(bool quiet) {
    if (quiet) {
        StdoutCapture capture;
        server->loadConfiguration();
        server->initialize();
        capture.take();
    } else {
        server->loadConfiguration();
        server->initialize();
    }
}

bool ServerHarness::receiveTurn(int timeoutMs) {
    bool arrived = server->router.socket.waitReadable(timeoutMs);
    server->update();
    return arrived;
}

bool within(int ms, const std::function<bool()>& done) {
    for (int waited = 0; !done(); waited += 5, ::usleep(5000))
        if (waited >= ms)
            return false;
    return true;
}

bool startedUp(const TempFolder& folder, int ms) {
    return within(ms, [&] {
        return folder.read("console.txt").find("Initializing message router\n") !=
               std::string::npos;
    });
}

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
}

StdoutCapture::~StdoutCapture() {
    if (active_)
        take();
}

std::string StdoutCapture::take() {
    if (!active_)
        return "";
    active_ = false;
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
