#pragma once
// Track flags raised and not yet cleared, in the order they were raised.

#include <cstddef>
#include <cstdint>
#include <vector>

struct TrackFlags {
    // No track has anywhere near this many sectors under flags; past it a raise is refused.
    static constexpr size_t kMaxActiveFlags = 256;

    struct FlagEntry {
        uint8_t unused = 0;
        uint8_t sector = 0;
        uint8_t flag = 0;
        uint8_t type = 1;
    };
    std::vector<FlagEntry> activeFlags;

    // False when the list is full and the flag stays down.
    bool raise(uint8_t sector, uint8_t flag) {
        if (activeFlags.size() >= kMaxActiveFlags)
            return false;
        activeFlags.push_back({0, sector, flag, 1});
        return true;
    }
    // Clears `flag` wherever it is raised; the sectors it left, in the order it was raised there.
    std::vector<uint8_t> clear(uint8_t flag) {
        std::vector<uint8_t> sectors;
        std::erase_if(activeFlags, [&](const FlagEntry& e) {
            if (e.flag != flag)
                return false;
            sectors.push_back(e.sector);
            return true;
        });
        return sectors;
    }
};
