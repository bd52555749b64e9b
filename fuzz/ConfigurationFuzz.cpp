// Any bytes as the configuration file (and as the track's start points), read by the server's
// own loader.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "FuzzServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = [] {
        silenceConsole();
        return scratchFolder();
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::ofstream(folder + "/cfg/rvservercfg.ini", std::ios::binary | std::ios::trunc) << text;
    ManualClock clock;
    ServerEnvironment env;
    env.clock = &clock;
    env.root = folder + "/";
    env.documentsFolder = folder + "/no-documents";
    CRVServer server(env);
    server.loadConfiguration();
    server.loadStartPoints(folder + "/cfg/rvservercfg.ini");
    server.loadOldStartPoints(folder + "/cfg/rvservercfg.ini");
    return 0;
}
