#include "support/ServerHarness.h"

#include <unistd.h>

#include <optional>

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::string defaultConfig() {
    return crlf(
        "[CONFIGURATION]\nMAXCLIENTS=8\nACCEPTVERSION=131\nNAME=Test Server\nTRACK=testring\n"
        "CONFIGURATION=short\nCAR=gt1;gt2;\nPASSWORD=\nADMIN=boss\nREGISTER=0\nPORT=0\n"
        "BANDWIDTH=10000\nLOOP=0\nWINNERBALLAST=0\nFULLMODE=1\nFRONTTIRE=front.rvt\n"
        "REARTIRE=rear.rvt\nRAIN=0\nDAMAGE=1\nMAXVALIDLAPS=100\nSESSIONS=1\n"
        "[SESSION0]\nESCMODE=0\nTYPE=0\nMAXLAPS=0\nMINLAPS=0\nNAME=Practice\nRACELAPS=5\n"
        "WAITTIME=30\nSESTIME=10\nACCEPTNEW=1\n");
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
    for (const char* sub : {"logs", "users", "sessions", "replay"})
        folder.makeFolder(std::string("server/") + sub);
    ServerEnvironment env;
    env.clock = &clock;
    env.root = folder.path() + "/";
    env.documentsFolder = folder.path() + "/no-documents";
    env.localTime = [](const char*) { return std::string(kLocalTime); };
    server = std::make_unique<CRVServer>(env);
}

void ServerHarness::start(bool quiet) {
    std::optional<StdoutCapture> capture;
    if (quiet)
        capture.emplace();
    server->loadConfiguration();
    server->initialize();
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
    return within(ms,
                  [&] { return has(folder.read("console.txt"), "Initializing message router\n"); });
}
