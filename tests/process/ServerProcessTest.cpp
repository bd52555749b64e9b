// The built server as an operator runs it: its own working folder, console on a file (buffered
// as on a pipe, so lines show only where the server flushes), signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "Process.h"
#include "protocol/MessageTypes.h"
#include "support/Requests.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

namespace {

// Polls `done` every 5 ms for up to `ms`.
bool within(int ms, const std::function<bool()>& done) {
    for (int waited = 0; !done(); waited += 5) {
        if (waited >= ms)
            return false;
        ::usleep(5000);
    }
    return true;
}

bool startedUp(const TempFolder& folder) {
    return within(3000, [&] {
        return folder.read("console.txt").find("Initializing message router\n") !=
               std::string::npos;
    });
}

}  // namespace

// Terminate and the quit chord take different ways out of the loop; both must end in the
// orderly shut-down that writes the statistics.
TEST(ServerProcess, ShowsBannerIgnoresInterruptAndEndsCleanlyOnTerminateOrQuitChord) {
    for (int stop : {SIGTERM, SIGQUIT}) {
        SCOPED_TRACE(stop);
        TempFolder folder;
        folder.write("cfg/rvservercfg.ini", defaultConfig());
        folder.makeFolder("server/logs");
        pid_t pid = launch(folder.path(), {RV_SERVER_BINARY});
        ASSERT_GT(pid, 0);
        auto console = [&] { return folder.read("console.txt"); };
        // The router line comes after the signal handlers are in place.
        EXPECT_TRUE(startedUp(folder)) << console();
        EXPECT_NE(console().find("***** rvServer v1.2.0 ******\n"), std::string::npos);
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

// The shipped demo folder must be a working event as it stands: a driver with no content files
// of its own is admitted and gets a profile. With car content installed and no tyre file named,
// the tyre path is the car's tyre folder, which must not stall the start-up.
TEST(ServerProcess, ShippedDemoEventWithCarContentAdmitsADriverAndAnswersStatus) {
    TempFolder folder;
    std::filesystem::copy(RV_SOURCE_DIR "/demo", folder.path(),
                          std::filesystem::copy_options::recursive);
    const uint16_t serverPort = freePort();
    folder.write("cfg/rvservercfg.ini", withEdits(folder.read("cfg/rvservercfg.ini"),
                                                  {"PORT=" + std::to_string(serverPort)}));
    folder.write("cars/gt_demo/rvdk/gt_demo.rvdk", "\x01");
    folder.makeFolder("cars/gt_demo/tyres");
    pid_t pid = launch(folder.path(), {RV_SERVER_BINARY});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(startedUp(folder)) << folder.read("console.txt");
    TestClient driver(serverPort);
    driver.sendRaw(statusQuery(0x01020304));
    EXPECT_TRUE(driver.waitFor(RV_STATUS, 1000));
    driver.sendRaw(connectRequest({.guid = "demo-driver"}));
    EXPECT_TRUE(driver.waitFor(RV_ACCEPTED, 1000));
    EXPECT_EQ(folder.read("server/users/demo-driver.rvuser"), "demo-driver\n");
    ::kill(pid, SIGTERM);
    int status = -1;
    EXPECT_TRUE(within(2000, [&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
    EXPECT_EQ(status, 0);
}
