// Any bytes as a recording, loaded and played back through the server.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "FuzzServer.h"
#include "records/CRVServerRecorder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzServer* fuzz = [] {
        silenceConsole();
        return new FuzzServer();
    }();
    const std::string path = fuzz->folder + "/server/replay/fuzz.rvsr";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    CRVServer& server = *fuzz->server;
    CRVServerRecorder recorder([&server] { return server.serverTime; },
                               [&server](RecordedMessage& m) { server.playRecorded(m); });
    recorder.load(path);
    for (int i = 0; i < 64 && !recorder.playList.empty(); ++i) {
        fuzz->clock.advance(1000);
        server.serverTime += 1000;
        recorder.playStep();
    }
    fuzz->reset();
    return 0;
}
