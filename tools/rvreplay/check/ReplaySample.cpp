// Writes a working folder with a one-hour recorded event for timing rvreplay: 20 drivers join,
// each sends 60 car updates a second and a lap about every 90 s, through a 20-minute practice,
// a 20-minute qualifying and a 30-lap race that the recording stops in the middle of.
#include <cstdio>
#include <filesystem>
#include <string>

#include "CheckEvent.h"
#include "common/PeerMessages.h"
#include "protocol/ByteWriter.h"

namespace {

constexpr int kDrivers = 20;
constexpr int kRate = 60;
constexpr uint32_t kDurationMs = 3600 * 1000;

void writeDriverRecord(std::FILE* f, uint32_t time, int driver, const Bytes& message) {
    writeRecord(f, time, SocketAddress::fromHost(0x7f000001, uint16_t(40000 + driver)), message);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: replay_sample WORKDIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const std::string config = checkEventConfig(
        {checkSession(0, 0, "Practice", 10, 20), checkSession(1, 1, "Qualifying", 10, 20),
         checkSession(2, 2, "Race", 30, 0, 30)},
        {"MAXCLIENTS=24"});
    std::filesystem::create_directories(dir + "cfg");
    std::filesystem::create_directories(dir + "server/replay");
    if (std::FILE* c = std::fopen((dir + "cfg/rvservercfg.ini").c_str(), "wb")) {
        std::fputs(config.c_str(), c);
        std::fclose(c);
    }
    std::FILE* f = std::fopen((dir + "server/replay/out.rvsr").c_str(), "wb");
    if (f == nullptr)
        return 1;
    uint64_t count = 0;
    for (int d = 0; d < kDrivers; ++d, ++count)
        writeDriverRecord(f, 1000 + uint32_t(d) * 50, d,
                          connectRequest({.guid = "guid-" + std::to_string(d),
                                          .userName = "Driver" + std::to_string(d),
                                          .frontTyre = "",
                                          .rearTyre = ""}));
    uint32_t laps[kDrivers] = {};
    for (uint32_t frame = 0;; ++frame) {
        const uint32_t time = 2000 + frame * 1000 / kRate;
        if (time >= kDurationMs)
            break;
        for (int d = 0; d < kDrivers; ++d, ++count) {
            uint8_t state[peer::kCarStateSize] = {};
            ByteWriter(state, sizeof state).f32(float(frame % 1000));
            writeDriverRecord(f, time, d, peer::carUpdate(frame + 1, state, 0));
            const uint32_t lapMs = 90000 + uint32_t(d) * 400;
            if (time - 2000 >= (laps[d] + 1) * lapMs) {
                ++laps[d];
                writeDriverRecord(f, time, d,
                                  peer::lapCompleted(laps[d], int32_t(lapMs), int32_t(lapMs / 2),
                                                     int32_t(laps[d] * lapMs)));
                ++count;
            }
        }
    }
    std::fclose(f);
    std::printf("%s: %llu messages, %u s, %d drivers at %d updates/s\n", dir.c_str(),
                static_cast<unsigned long long>(count), kDurationMs / 1000, kDrivers, kRate);
    return 0;
}
