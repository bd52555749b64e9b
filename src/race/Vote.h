#pragma once
// The vote of drivers without admin rights: one window at a time, for one subject, and who has
// voted in it.

#include <algorithm>
#include <cstdint>
#include <vector>

class CRVClientConnection;

struct Vote {
    static constexpr int32_t kKick = 2;

    uint64_t voteStart = 0;
    int32_t voteSubject = 0;
    CRVClientConnection* voteTarget = nullptr;  // the driver a kick vote is about
    std::vector<CRVClientConnection*> voters;
    int32_t voteDuration = 10000;
    float voteQuorum = 0.75f;

    // Once the window is past, the next vote opens a new one for its own subject.
    void openIfPast(int64_t now, int32_t subject, CRVClientConnection* target) {
        if (now <= int64_t(voteStart) + voteDuration)
            return;
        voteSubject = subject;
        voteTarget = target;
        voters.clear();
        voteStart = uint64_t(now);
    }
    // The window's last instant counts as past, so a window of no length takes no vote at all.
    bool takesVotes(int64_t now) const { return now < int64_t(voteStart) + voteDuration; }
    bool hasVoted(const CRVClientConnection* client) const {
        return std::find(voters.begin(), voters.end(), client) != voters.end();
    }
    // A driver who leaves takes his vote with him, and a kick vote about him ends.
    void forget(const CRVClientConnection* client) {
        std::erase(voters, client);
        if (voteTarget == client)
            voteTarget = nullptr;
    }
    int needed(size_t clients) const { return int(float(clients) * voteQuorum); }
};
