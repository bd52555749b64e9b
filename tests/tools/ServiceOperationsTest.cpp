// Running events as services: a live server closing on the service's reload, and the events
// that would fight over one port.
#include "tools/ToolRunner.h"

TEST(ServiceOperations, AnEmptyEventEndsAtOnceWithExitZeroOnTheReloadSignal) {
    ServerProcess server(
        eventConfig("SESSIONS=1\n" + session(0, 0, "Warm-up", 0, 30), {"PORT=%PORT%"}));
    // Left to its default, the signal would end the process by itself, not with exit 0.
    EXPECT_TRUE(server.started && server.signal(SIGUSR1, 2000) == 0) << server.console();
}

TEST(ServiceOperations, CheckWarnsOfAnEventFolderBesideItOnTheSamePort) {
    TempFolder events;
    fs::copy(RV_SOURCE_DIR "/demo", events.path() + "/sunday", fs::copy_options::recursive);
    fs::copy(RV_SOURCE_DIR "/demo", events.path() + "/monday", fs::copy_options::recursive);
    EXPECT_TRUE(has(runTool("rvcheck", {events.path() + "/sunday"}).out,
                    events.path() + "/monday beside this one also uses PORT=6666"));
}
