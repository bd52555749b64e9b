#include "FuzzServer.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "admission/CRVClientConnection.h"
#include "platform/Files.h"
#include "util/LineEnds.h"

namespace fs = std::filesystem;

namespace {

// The disk of a fuzz run takes every write and keeps nothing: no input pays for the files the
// server writes (whole results files are forced to disk), and none leaves files for the next.
struct DiscardingFiles : platform::Files {
    int openForWrite(const std::string&, bool, int&) override { return 0; }
    long write(int, const void*, size_t size, int&) override { return long(size); }
    bool sync(int, int&) override { return true; }
    bool truncate(int, long, int&) override { return true; }
    void close(int) override {}
    bool rename(const std::string&, const std::string&, int&) override { return true; }
    void remove(const std::string&) override {}
    long plainFileSize(const std::string&) override { return -1; }
    bool read(const std::string&, std::string&) override { return false; }
};

}  // namespace

std::string scratchFolder() {
    // In memory where the host has such a folder: the server saves results files and flushes
    // its logs as sessions end, and a disk would set the pace of the fuzzing.
    std::string pattern =
        fs::is_directory("/dev/shm") ? "/dev/shm/rvfuzz-XXXXXX" : "/tmp/rvfuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    const std::string root = made != nullptr ? made : "/tmp";
    for (const char* sub :
         {"cfg", "server/logs", "server/users", "server/sessions", "server/replay"})
        fs::create_directories(root + "/" + sub);
    static std::vector<std::string> made_folders;
    made_folders.push_back(root);
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit([] {
            std::error_code ignored;
            for (const std::string& f : made_folders)
                fs::remove_all(f, ignored);
        });
    }
    return root;
}

void silenceConsole() {
    if (std::getenv("RV_FUZZ_VERBOSE") == nullptr)
        (void)std::freopen("/dev/null", "w", stdout);
}

std::string FuzzServer::eventConfig() {
    std::string text =
        "[CONFIGURATION]\nMAXCLIENTS=8\nNAME=Fuzz\nTRACK=ring\nCONFIGURATION=short\nCAR=gt1;\n"
        "PASSWORD=\nADMIN=boss\nREGISTER=0\nPORT=0\nLOOP=4\nWINNERBALLAST=30\nFRONTTIRE=\n"
        "REARTIRE=\nSESSIONS=3\n"
        "[SESSION0]\nTYPE=0\nNAME=Practice\nWAITTIME=1\nSESTIME=1\nACCEPTNEW=1\n"
        "[SESSION1]\nTYPE=1\nNAME=Qualifying\nWAITTIME=1\nSESTIME=1\nMINLAPS=1\nMAXLAPS=3\n"
        "ACCEPTNEW=1\n"
        "[SESSION2]\nTYPE=2\nNAME=Race\nWAITTIME=1\nRACELAPS=3\nACCEPTNEW=1\n";
    return withCrlf(text);
}

FuzzServer::FuzzServer(const std::string& config) : folder(scratchFolder()) {
    std::ofstream(folder + "/cfg/rvservercfg.ini", std::ios::binary) << config;
    ServerEnvironment env;
    env.clock = &clock;
    env.root = folder + "/";
    env.documentsFolder = folder + "/no-documents";
    env.localTime = [](const char*) { return std::string("01_00_00"); };
    static DiscardingFiles disk;
    env.files = &disk;
    server = std::make_unique<CRVServer>(env);
    server->loadConfiguration();
    server->initialize();
}

CRVClientConnection* FuzzServer::attach(uint16_t port) {
    auto* c = new CRVClientConnection();
    c->address = SocketAddress::fromHost(0x7f000001, port);
    const int id = server->joinCounter;
    std::snprintf(c->userName, sizeof c->userName, "Fuzz%d", id);
    std::snprintf(c->guid, sizeof c->guid, "fuzz-%d", id);
    server->enlistClient(c);
    return c;
}

void FuzzServer::settle() {
    server->router.queue.clear();
    server->flags.activeFlags.clear();
}

void FuzzServer::reset() {
    // The queue goes first: taking each client's copies out of it one by one is slow.
    settle();
    while (!server->clients.empty())
        server->removeClient(server->clients.back());
    server->releaseRemovedClients();
}

void FuzzServer::turn(uint32_t ms) {
    clock.advance(ms);
    server->update();
}
