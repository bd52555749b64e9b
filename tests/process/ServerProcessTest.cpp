// The built server as an operator runs it: its own working folder, console on a file (buffered
// as on a pipe, so lines show only where the server flushes), signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/Process.h"
#include "support/ServerHarness.h"

// Terminate and the quit chord take different ways out of the loop; both must end in the
// orderly shut-down that writes the statistics.
TEST(ServerProcess, IgnoresInterruptAndEndsCleanlyOnTerminateOrQuitChord) {
    for (int stop : {SIGTERM, SIGQUIT}) {
        SCOPED_TRACE(stop);
        TempFolder folder;
        folder.write("cfg/rvservercfg.ini", defaultConfig());
        folder.makeFolder("server/logs");
        pid_t pid = launch(folder.path(), {RV_SERVER_BINARY});
        ASSERT_GT(pid, 0);
        // The router line comes after the signal handlers are in place.
        EXPECT_TRUE(startedUp(folder)) << folder.read("console.txt");
        int status = -1;
        auto ended = [&] { return ::waitpid(pid, &status, WNOHANG) == pid; };
        ::kill(pid, SIGINT);
        const bool interrupted = within(150, ended);
        EXPECT_FALSE(interrupted) << "an interrupt does not stop the server";
        if (!interrupted) {
            ::kill(pid, stop);
            if (!within(2000, ended))
                ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
        }
        EXPECT_EQ(status, 0) << "exit code 0";
        EXPECT_TRUE(folder.exists("serverStats.txt"));
        EXPECT_EQ(folder.list("server/logs").size(), 1u);
    }
}
