// Votes of drivers without admin rights: restart the race or move on to the next session.
#include <cstdio>

#include "admission/CRVClientConnection.h"
#include "race/VoteOptions.h"
#include "runtime/CRVServer.h"
#include "runtime/ZTINIReader.h"
#include "util/RecordText.h"

namespace {

const char* const kSubjects[] = {"RESTART", "NEXT", "KICK", "BAN"};
constexpr int kRestart = 0;
constexpr int kNext = 1;

}  // namespace

VoteOptions readVoteOptions(const std::string& root) {
    VoteOptions options;
    ZTINIReader ini;
    ini.load(root + kVoteOptionsFile);
    if (!ini.loaded)
        return options;
    options.fromFile = true;
    options.quorum = ini.getFloat("VOTES", "QUORUM");
    options.durationMs = int32_t(ini.getFloat("VOTES", "DURATION"));
    return options;
}

void CRVServer::loadVoteOptions() {
    voteDuration = 10000;
    const VoteOptions options = readVoteOptions(root);
    if (!options.fromFile)
        return;
    voteQuorum = options.quorum;
    voteDuration = options.durationMs;
}

void CRVServer::addVote(CRVClientConnection* voter, int subject) {
    const int64_t now = serverTime;
    const int64_t windowEnd = int64_t(voteStart) + voteDuration;
    if (now > windowEnd) {
        voteSubject = subject;
        voters.clear();
        voteStart = uint64_t(now);
    }
    if (now >= int64_t(voteStart) + voteDuration)
        return;
    const int needed = int(float(clients.size()) * voteQuorum);
    if (subject == voteSubject) {
        for (const CRVClientConnection* v : voters)
            if (v == voter) {
                sendServerChat("[SERVER]: YOU HAVE ALREADY VOTED", voter);
                return;
            }
        voters.push_back(voter);
        const char* word = voteSubject >= 0 && voteSubject < 4 ? kSubjects[voteSubject] : "";
        sendServerChat("[SERVER]: " + recordText(voter->userName) + " VOTES TO " + word + " (" +
                           std::to_string(voters.size()) + "/" + std::to_string(needed) + ")",
                       nullptr);
    }
    if (int(voters.size()) < needed)
        return;
    if (voteSubject == kRestart) {
        std::printf("RESETTING RACE BY VOTES\n");
        resetRace(true);
    } else if (voteSubject == kNext) {
        std::printf("NEXT SESSION BY VOTES\n");
        if (currentSession >= int(sessions.size()) - 1)
            currentSession = -1;
        evolveSession();
    }
    voters.clear();
}
