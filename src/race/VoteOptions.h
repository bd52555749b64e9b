#pragma once
// The voting options file: how large a share of the clients passes a vote, and how long a vote
// stays open.

#include <cstdint>
#include <string>

constexpr char kVoteOptionsFile[] = "cfg/sv_options.ini";

struct VoteOptions {
    float quorum = 0.75f;
    int32_t durationMs = 10000;
    bool fromFile = false;
};

// Reads kVoteOptionsFile under `root`; without the file the defaults stand. A present file with
// a key missing gives that key what the INI reader gives (0).
VoteOptions readVoteOptions(const std::string& root);
