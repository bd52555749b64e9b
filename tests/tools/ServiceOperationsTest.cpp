// Running events as services: a live server closing on the service's reload, and the events
// that would fight over one port.
#include "tools/ToolRunner.h"

TEST(ServiceOperations, AnEmptyEventEndsAtOnceWithExitZeroOnTheReloadSignal) {
    ServerProcess server(
        eventConfig("SESSIONS=1\n" + session(0, 0, "Warm-up", 0, 30), {"PORT=%PORT%"}));
    ASSERT_TRUE(server.started);
    EXPECT_EQ(server.signal(SIGUSR1, 2000), 0);
    EXPECT_TRUE(has(server.console(), "Draining: no new clients")) << server.console();
}

TEST(ServiceOperations, CheckWarnsOfAnEventFolderBesideItOnTheSamePort) {
    TempFolder events;
    for (const char* name : {"sunday", "monday"})
        fs::copy(RV_SOURCE_DIR "/demo", events.path() + "/" + name, fs::copy_options::recursive);
    const json sunday = json::parse(runTool("rvcheck", {events.path() + "/sunday", "--json"}).out);
    EXPECT_EQ(sunday["warnings"], json::array({"the event folder " + events.path() +
                                               "/monday beside this one also uses PORT=6666: "
                                               "only one of the two servers can bind it"}));
}
