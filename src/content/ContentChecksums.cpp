// Checksums of the server's own content, computed once at start-up.
#include "content/ContentChecksums.h"

#include <cstdio>

int32_t checksumFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 99;
    // The clients notice the end of file only after the read that fails, so the last byte
    // counts twice (and an empty file adds a zero buffer); the server must add it the same way
    // or every client looks illegal. A read error (a folder opened as a file, a bad disk) ends
    // the sum like the end of file, so start-up can never spin here; a folder sums to 99.
    uint32_t sum = 99;
    signed char buffer = 0;
    do {
        (void)std::fread(&buffer, 1, 1, f);
        sum += uint32_t(int32_t(buffer));
    } while (!std::feof(f) && !std::ferror(f));
    std::fclose(f);
    return int32_t(sum);
}

std::vector<ChecksumSource> checksumSources(const std::string& car, const std::string& track,
                                            const std::string& configuration,
                                            const std::string& frontTyre) {
    const std::string trackFolder = "tracks/" + track + "/";
    const std::string tyre = "cars/" + car + "/tyres/" + frontTyre;
    // Clients report the front tyre twice; the rear tyre never enters the value.
    return {{"rvs", "rvp/rvs.exe"},
            {"track", trackFolder + track + ".zto"},
            {"track", trackFolder + track + ".rvo"},
            {"track", trackFolder + "configurations/" + configuration + ".txt"},
            {"tyres", tyre},
            {"tyres", tyre},
            {"car", "cars/" + car + "/rvdk/" + car + ".rvdk"}};
}

void computeContentChecksums(ContentChecksums& out, const std::string& root, const std::string& car,
                             const std::string& track, const std::string& configuration,
                             const std::string& frontTyre, const std::string& /*rearTyre*/) {
    out = ContentChecksums{};
    for (const ChecksumSource& s : checksumSources(car, track, configuration, frontTyre)) {
        int32_t& value = s.value == "rvs"     ? out.rvs
                         : s.value == "track" ? out.track
                         : s.value == "tyres" ? out.tyres
                                              : out.car;
        value = int32_t(uint32_t(value) + uint32_t(checksumFile(root + s.path)));
    }
    std::printf("CHECKSUMS:\n");
    std::printf("RVS=%d\n", out.rvs);
    std::printf("TRACK=%d\n", out.track);
    std::printf("CAR=%d\n", out.car);
    std::printf("TYRES=%d\n", out.tyres);
}

std::string firstCarName(const std::string& carValue) {
    const std::string head = carValue.substr(0, 255);
    return head.substr(0, head.find(';'));
}
