// A fatal signal in a running server: the report in dumps/, the console flushed, and the process
// ending by the signal as it would without the hook.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "common/Process.h"
#include "support/RaceFixture.h"

TEST(CrashDump, FatalSignalLeavesOneReportFlushesOutputAndEndsByTheSignal) {
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
    int status = 0;
    if (!within(3000, [&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
        ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
        FAIL() << "the server did not end";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;

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
