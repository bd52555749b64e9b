// The built server as an operator runs it: its own working folder, console on a file, signals,
// and the report a fatal one leaves in dumps/.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "common/Process.h"
#include "support/RaceFixture.h"

namespace {

// How `pid` ended, if it does within `ms`; otherwise it is killed and -1 returned.
int endStatus(pid_t pid, int ms) {
    int status = 0;
    if (within(ms, [&] { return ::waitpid(pid, &status, WNOHANG) == pid; }))
        return status;
    ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    return -1;
}

}  // namespace

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
    for (pid_t pid : pids)
        ::kill(pid, SIGINT);
    EXPECT_FALSE(within(150, [&] {
        return ::waitpid(pids[0], nullptr, WNOHANG) != 0 ||
               ::waitpid(pids[1], nullptr, WNOHANG) != 0;
    })) << "an interrupt does not stop the server";
    ::kill(pids[0], SIGTERM);
    ::kill(pids[1], SIGQUIT);
    EXPECT_EQ(endStatus(pids[0], 2000), 0) << "terminate";
    EXPECT_EQ(endStatus(pids[1], 2000), 0) << "quit chord";
}

TEST(ServerProcess, FatalSignalLeavesOneReportFlushesOutputAndEndsByTheSignal) {
    TempFolder folder;
    const uint16_t port = freePort();
    folder.write("cfg/rvservercfg.ini",
                 withEdits(defaultConfig(), {"PORT=" + std::to_string(port)}));
    folder.makeFolder("server/logs");
    // Under the sanitizers, leave fatal signals to the server's own hook; the report is what is
    // wanted, not a core file.
    ::setenv("ASAN_OPTIONS", "handle_segv=0:handle_abort=0", 1);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const pid_t pid = launch(folder.path(), {RV_SERVER_BINARY});
    ASSERT_GT(pid, 0);
    // A status query prints lines that no flush of the loop has written yet.
    TestClient asker(port);
    ASSERT_TRUE(within(3000, [&] {
        asker.sendRaw(statusQuery(7));
        return asker.waitFor(RV_STATUS, 50);
    }));
    ::kill(pid, SIGSEGV);
    const int status = endStatus(pid, 3000);
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;

    const std::vector<std::string> dumps = folder.list("dumps");
    ASSERT_EQ(dumps.size(), 1u);
    const std::string p = std::to_string(pid);
    EXPECT_TRUE(std::regex_match(
        dumps[0], std::regex("rvServer_v1\\.0\\.3-\\d{8}-\\d{6}-" + p + "-" + p + "\\.dmp")))
        << dumps[0];
    const std::string report = folder.read("dumps/" + dumps[0]);
    const size_t frames = report.find("\nbacktrace of the crashing thread:\n");
    const size_t map = report.find("\nmemory map:\n");
    ASSERT_TRUE(frames != std::string::npos && map != std::string::npos && frames < map) << report;
    const std::string header =
        "rvServer v1\\.0\\.3 crash report\nsignal 11 \\(SIGSEGV\\)\ncode 0 \\(sent by process " +
        std::to_string(::getpid()) + "\\)\nfault address none\nprogram counter 0x[0-9a-f]+\n" +
        "process " + p + "\nthread " + p + "\nbuild id [0-9a-f]{40}\n";
    EXPECT_TRUE(std::regex_match(report.substr(0, frames), std::regex(header))) << report;
    EXPECT_NE(report.find("rvserver(", frames), std::string::npos) << "frames of the program";
    EXPECT_NE(report.find("rvserver\n", map), std::string::npos) << "where it was loaded";

    const std::string console = folder.read("console.txt");
    EXPECT_NE(console.find("Get status\n"), std::string::npos) << console;
    const std::string docsLine = "Docs folder is no-documents\n";
    EXPECT_EQ(console.substr(console.size() - std::min(console.size(), docsLine.size())), docsLine);
}
