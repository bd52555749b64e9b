// Votes to restart the race or move on: quorum, windows and repeated votes.
#include "support/RaceFixture.h"

namespace {

const std::string kRestarted =
    "RESETTING RACE BY VOTES\n**** RESETTING RACE ****\nEvolving session -1 2\nCurrent session=0\n";

class Voting : public RaceFixture {
  protected:
    void startWith(int drivers, const std::string& options = "") {
        start(eventConfig(
            "SESSIONS=2\n" + session(0, 0, "Practice", 0, 10) + session(1, 2, "Race", 30, 0, 5),
            {"LOOP=3"}));  // no ballast lines on a restart
        if (!options.empty()) {
            harness->folder.write("cfg/sv_options.ini", crlf(options));
            server().loadVoteOptions();
        }
        d = attachDrivers(drivers);
        at(1000);
        take();
    }
    // The chat lines the voter got, then the console.
    std::string vote(CRVClientConnection* voter, const char* command) {
        const std::string console = deliver(voter, adminCommand("", command));
        std::string lines;
        for (auto& [client, bytes] : take(RV_CHAT))
            if (client == voter)
                lines += std::string(bytes.begin() + 3, bytes.end()) + "|";
        return lines + console;
    }
    std::vector<CRVClientConnection*> d;
};

TEST_F(Voting, ThreeOfFourPassARestartAndARepeatedVoteCountsNothing) {
    startWith(4);
    EXPECT_EQ(vote(d[0], "restart"), "[SERVER]: D1 VOTES TO RESTART (1/3)|");
    EXPECT_EQ(vote(d[0], "restart"), "[SERVER]: YOU HAVE ALREADY VOTED|");
    EXPECT_EQ(vote(d[1], "nextses"), "");  // the window is the restart's
    EXPECT_EQ(vote(d[1], "restart"), "[SERVER]: D2 VOTES TO RESTART (2/3)|");
    for (int i = 0; i < 30; ++i)  // a burst of chat spends D3's allowance, but not his vote
        deliver(d[2], chat("go"));
    take();
    EXPECT_EQ(vote(d[2], "restart"), "[SERVER]: D3 VOTES TO RESTART (3/3)|" + kRestarted);
    EXPECT_TRUE(server().vote.voters.empty());
    EXPECT_EQ(harness->folder.list("server/sessions").size(), 0u);  // a voted restart saves nothing
}

TEST_F(Voting, AWindowRunsOutAndALoneDriverPassesAtOnce) {
    startWith(2);
    EXPECT_EQ(vote(d[0], "restart"), "[SERVER]: D1 VOTES TO RESTART (1/1)|" + kRestarted);
    at(11001);  // the window of 10 s is over: a new one for the next session
    EXPECT_EQ(vote(d[1], "nextses"),
              "[SERVER]: D2 VOTES TO NEXT (1/1)|NEXT SESSION BY VOTES\nSaving session\n"
              "Evolving session 0 2\nCurrent session=1\n");
    at(22002);  // in the last session a passed NEXT starts the first again
    vote(d[0], "nextses");
    EXPECT_EQ(server().currentSession, 0);
    at(33003);  // a voter who leaves is no longer counted
    server().vote.voteQuorum = 2;
    vote(d[0], "restart");
    server().removeClient(d[0]);
    EXPECT_TRUE(server().vote.voters.empty());
}

TEST_F(Voting, ALoneClientPassesAnyVoteOfTheOpenWindowAndTheFileSetsQuorumAndWindow) {
    startWith(1);
    EXPECT_EQ(vote(d[0], "restart"), "[SERVER]: D1 VOTES TO RESTART (1/0)|" + kRestarted);
    // The other subject is ignored, but the open window's subject passes once more.
    EXPECT_EQ(vote(d[0], "nextses"), kRestarted);
    startWith(1, "[VOTES]\nQUORUM=1.0\nDURATION=0\n");
    EXPECT_EQ(vote(d[0], "restart"), "");  // a window of no length
    startWith(1, "[VOTES]\nQUORUM=0.5\n");
    EXPECT_EQ(std::pair(server().vote.voteQuorum, server().vote.voteDuration), std::pair(0.5f, 0));
}

}  // namespace
