#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The server's own content checksums, compared with what each client reports.
struct ContentChecksums {
    int32_t rvs = 0;
    int32_t car = 0;
    int32_t track = 0;
    int32_t tyres = 0;
};

// One file that feeds a checksum value ("rvs", "track", "tyres" or "car"), relative to the
// working folder; a file named twice counts twice.
struct ChecksumSource {
    std::string value;
    std::string path;
};
// In the order the server computes them.
std::vector<ChecksumSource> checksumSources(const std::string& car, const std::string& track,
                                            const std::string& configuration,
                                            const std::string& frontTyre);

// Additive checksum of one file; 99 when it cannot be opened.
int32_t checksumFile(const std::string& path);
// Fills `out` from the files below `root` (which is "" or ends with "/") and prints them.
void computeContentChecksums(ContentChecksums& out, const std::string& root, const std::string& car,
                             const std::string& track, const std::string& configuration,
                             const std::string& frontTyre, const std::string& rearTyre);
// The first ";"-separated name of a CAR value (at most 255 characters are looked at).
std::string firstCarName(const std::string& carValue);
