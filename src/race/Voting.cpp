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
    vote.voteDuration = 10000;
    const VoteOptions options = readVoteOptions(root);
    if (!options.fromFile)
        return;
    vote.voteQuorum = options.quorum;
    vote.voteDuration = options.durationMs;
}

void CRVServer::addVote(CRVClientConnection* voter, int subject, CRVClientConnection* target) {
    const int64_t now = serverTime;
    vote.openIfPast(now, subject, target);
    if (!vote.takesVotes(now))
        return;
    const int needed = vote.needed(clients.size());
    // A kick vote about another driver is another subject.
    if (subject == vote.voteSubject && target == vote.voteTarget) {
        // The reminder is the one copy a repeated vote provokes: it spends the allowance.
        if (vote.hasVoted(voter)) {
            if (voter->mayFanOut(voter->broadcastBudget))
                sendServerChat("[SERVER]: YOU HAVE ALREADY VOTED", voter);
            return;
        }
        vote.voters.push_back(voter);
        const int32_t which = vote.voteSubject;
        const char* word = which >= 0 && which < 4 ? kSubjects[which] : "";
        sendServerChat("[SERVER]: " + recordText(voter->userName) + " VOTES TO " + word + " (" +
                           std::to_string(vote.voters.size()) + "/" + std::to_string(needed) + ")",
                       nullptr);
    }
    if (int(vote.voters.size()) < needed)
        return;
    if (vote.voteSubject == kRestart) {
        std::printf("RESETTING RACE BY VOTES\n");
        resetRace(true);
    } else if (vote.voteSubject == kNext) {
        std::printf("NEXT SESSION BY VOTES\n");
        if (currentSession >= int(sessions.size()) - 1)
            currentSession = -1;
        evolveSession();
    } else if (vote.voteSubject == Vote::kKick && vote.voteTarget != nullptr) {
        std::printf("KICK BY VOTES\n");
        kickClient(vote.voteTarget, "vote", "vote");
    }
    vote.voters.clear();
}
