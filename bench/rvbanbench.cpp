// rvbanbench: what a large ban list costs the server. Builds a list of --bans entries (guids and
// address ranges of every prefix length from /16 to /32), writes and reads it back as the
// server does, then times the admission lookup against a plain scan of the same list, the
// baseline an unindexed list would cost.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "admission/BanList.h"
#include "common/Cli.h"
#include "platform/Files.h"
#include "platform/Platform.h"

namespace {

constexpr int64_t kNow = 1796644800;

struct Lookup {
    std::string guid;
    uint32_t address;
};

std::string percentiles(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[size_t(q * double(us.size() - 1))]; };
    char line[160];
    std::snprintf(line, sizeof line, "p50 %8.3f us  p99 %8.3f us  max %8.3f us", at(0.5), at(0.99),
                  us.back());
    return line;
}

// Each lookup timed on its own, in microseconds.
template <typename Find>
std::vector<double> timed(const std::vector<Lookup>& lookups, Find find, int& hits) {
    std::vector<double> us;
    hits = 0;
    for (const Lookup& l : lookups) {
        const uint64_t from = platform::monotonicMicros();
        hits += find(l) ? 1 : 0;
        us.push_back(double(platform::monotonicMicros() - from));
    }
    return us;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Times the ban list's file and lookups at admission. No network use.",
                 "rvbanbench"};
    int count = 100000;
    int lookups = 20000;
    app.add_option("--bans", count, "bans in the list (default 100000)")
        ->check(CLI::Range(1, 10000000));
    app.add_option("--lookups", lookups, "lookups timed (default 20000)")
        ->check(CLI::Range(1, 1000000));
    if (int code = tool::parse(app, argc, argv); code >= 0)
        return code;

    std::mt19937 random(7);
    BanList list;
    for (int i = 0; i < count; ++i) {
        const int bits = i % 2 ? -1 : 16 + int(random() % 17);
        list.add({bits < 0 ? "guid-" + std::to_string(i) : "",
                  uint32_t(random()) & (bits <= 0 ? 0u : ~0u << (32 - bits)), bits},
                 kNow, i % 3 ? 60 : 0, "bench", "console");
    }
    const std::string path =
        (std::filesystem::temp_directory_path() / ("rvbanbench-" + std::to_string(count) + ".ini"))
            .string();
    BanFile file;
    file.setPath(path);
    int error = 0;
    uint64_t t0 = platform::monotonicMicros();
    if (!file.write(list, platform::systemFiles(), error))
        return tool::fail("rvbanbench", "cannot write " + path + ": " + platform::errorText(error));
    uint64_t t1 = platform::monotonicMicros();
    BanList read;
    file.read(read);
    uint64_t t2 = platform::monotonicMicros();
    std::filesystem::remove(path);

    std::vector<Lookup> asks;
    for (int i = 0; i < lookups; ++i)  // about half of them banned
        asks.push_back(
            {"guid-" + std::to_string(random() % uint32_t(2 * count)), uint32_t(random())});
    int indexedHits = 0, scannedHits = 0;
    const auto indexed = timed(
        asks, [&](const Lookup& l) { return read.find(l.guid, l.address, kNow); }, indexedHits);
    const auto scanned = timed(
        asks,
        [&](const Lookup& l) {
            for (const Ban& b : read.bans)
                if (b.activeAt(kNow) && b.covers(l.guid, l.address))
                    return true;
            return false;
        },
        scannedHits);
    std::printf("ban list of %d bans (%zu bytes): written in %.1f ms, read in %.1f ms\n", count,
                read.render().size(), double(t1 - t0) / 1000, double(t2 - t1) / 1000);
    std::printf("lookup by table  (%d of %d banned): %s\n", indexedHits, lookups,
                percentiles(indexed).c_str());
    std::printf("plain scan, baseline (%d banned): %s\n", scannedHits,
                percentiles(scanned).c_str());
    return indexedHits == scannedHits ? tool::kOk
                                      : tool::fail("rvbanbench", "the two lookups disagree");
}
