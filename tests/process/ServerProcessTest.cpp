// The built server as an operator runs it: its own working folder, console on a pipe, signals.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/ServerHarness.h"

namespace {

// Starts the server in `folder` with its standard output on a pipe.
pid_t launch(const TempFolder& folder, int& out) {
    folder.write("cfg/rvservercfg.ini", defaultConfig());
    folder.makeFolder("server/logs");
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        if (::chdir(folder.path().c_str()) == 0)
            ::execl(RV_SERVER_BINARY, RV_SERVER_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    out = fds[0];
    return pid;
}

// The exit code once the process ends within `ms`, -1 while it runs, -2 after a signal.
int exitCode(pid_t pid, int ms) {
    for (int waited = 0;; waited += 5) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        if (waited >= ms)
            return -1;
        ::usleep(5000);
    }
}

// Reads the console until `text` shows up (bounded by `ms` of silence).
bool awaitOutput(int fd, const std::string& text, std::string& seen, int ms) {
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (seen.find(text) == std::string::npos) {
        ssize_t n = ::poll(&p, 1, ms) > 0 ? ::read(fd, buf, sizeof buf) : 0;
        if (n <= 0)
            return false;
        seen.append(buf, size_t(n));
    }
    return true;
}

}  // namespace

TEST(ServerProcess, ShowsBannerIgnoresInterruptAndEndsCleanlyOnTerminate) {
    TempFolder folder;
    int out = -1;
    pid_t pid = launch(folder, out);
    ASSERT_GT(pid, 0);
    std::string seen;
    EXPECT_TRUE(awaitOutput(out, "***** rvServer v1.2.0 ******\n", seen, 3000)) << seen;
    EXPECT_TRUE(awaitOutput(out, "Initializing message router\n", seen, 1000)) << seen;
    ::kill(pid, SIGINT);
    EXPECT_EQ(exitCode(pid, 150), -1) << "an interrupt does not stop the server";
    ::kill(pid, SIGTERM);
    int code = exitCode(pid, 2000);
    if (code == -1)
        ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(folder.exists("serverStats.txt"));
    EXPECT_EQ(folder.list("server/logs").size(), 1u);
    ::close(out);
}

TEST(ServerProcess, QuitChordLeavesTheLoopWithExitCodeZero) {
    TempFolder folder;
    int out = -1;
    pid_t pid = launch(folder, out);
    ASSERT_GT(pid, 0);
    // The event log is opened after the signal handlers are in place.
    for (int i = 0; i < 600 && folder.list("server/logs").empty(); ++i)
        ::usleep(5000);
    ::kill(pid, SIGQUIT);
    int code = exitCode(pid, 2000);
    if (code == -1)
        ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(code, 0);
    ::close(out);
}
