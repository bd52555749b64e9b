// The built server as an operator runs it: its own working folder, console on a file, signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/Process.h"
#include "support/ServerHarness.h"

// Terminate and the quit chord take different ways out of the loop; both must end in the
// orderly shut-down, which returns from the program with exit code 0. Both servers run at once.
TEST(ServerProcess, IgnoresInterruptAndEndsCleanlyOnTerminateOrQuitChord) {
    TempFolder folders[2];
    pid_t pids[2];
    for (int i = 0; i < 2; ++i) {
        folders[i].write("cfg/rvservercfg.ini", defaultConfig());
        pids[i] = launch(folders[i].path(), {RV_SERVER_BINARY});
        ASSERT_GT(pids[i], 0);
    }
    for (int i = 0; i < 2; ++i)  // the router line comes after the signal handlers are in place
        EXPECT_TRUE(startedUp(folders[i])) << folders[i].read("console.txt");
    int status[2] = {-1, -1};
    auto ended = [&](int i) { return ::waitpid(pids[i], &status[i], WNOHANG) == pids[i]; };
    for (pid_t pid : pids)
        ::kill(pid, SIGINT);
    EXPECT_FALSE(within(150, [&] { return ended(0) || ended(1); }))
        << "an interrupt does not stop the server";
    ::kill(pids[0], SIGTERM);
    ::kill(pids[1], SIGQUIT);
    for (int i = 0; i < 2; ++i) {
        if (!within(2000, [&] { return status[i] != -1 || ended(i); }))
            ::kill(pids[i], SIGKILL), ::waitpid(pids[i], nullptr, 0);
        EXPECT_EQ(status[i], 0) << (i == 0 ? "terminate" : "quit chord");
    }
}
