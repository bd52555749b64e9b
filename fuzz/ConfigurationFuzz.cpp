// Any bytes read by the server's own loader as one of its three outside files, chosen by the
// input's length: the configuration (a multiple of three), the track's start points in the new
// format (one more) or in the old one (two more). One server reads every input; only its
// start-point lists grow with each reading, so they are emptied first.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "FuzzServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzServer* fuzz = [] {
        silenceConsole();
        return new FuzzServer();
    }();
    const std::string file = fuzz->folder + "/cfg/rvservercfg.ini";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    CRVServer& server = *fuzz->server;
    server.startPoints.clear();
    if (size % 3 == 0)
        server.loadConfiguration();
    else if (size % 3 == 1)
        server.loadStartPoints(file);
    else
        server.loadOldStartPoints(file);
    return 0;
}
