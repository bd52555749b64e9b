// rvlive against a real server with a driver lapping: its JSON endpoint, and its page in a
// headless browser when one is installed.
#include <httplib.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/RaceFixture.h"
#include "tools/ToolRunner.h"

using nlohmann::json;

namespace {

const char* const kEvent =
    "[CONFIGURATION]\nMAXCLIENTS=10\nNAME=Live Cup\nTRACK=oak\nCONFIGURATION=gp\nCAR=gt3;\n"
    "PASSWORD=\nADMIN=pitwall\nPORT=%PORT%\nFRONTTIRE=\nREARTIRE=\nSESSIONS=1\n"
    "[SESSION0]\nTYPE=0\nNAME=Warm-up\nWAITTIME=0\nSESTIME=30\nACCEPTNEW=1\n";

}  // namespace

TEST(ToolsLive, FollowsTheEventLogAndServesStandingsToTheBrowser) {
    ServerProcess server(kEvent);
    ASSERT_TRUE(server.started()) << server.console();
    const int webPort = freePort();
    TempFolder liveFolder;
    const pid_t live = launch(
        liveFolder.path(),
        {RV_TOOLS_DIR "/rvlive", "--dir", server.folder.path(), "--port", std::to_string(webPort)});
    struct Stop {
        pid_t pid;
        ~Stop() { stop(pid); }
    } stopLive{live};

    const int serverPort = std::stoi(server.address().substr(10));
    std::vector<std::unique_ptr<TestClient>> drivers;
    for (const std::string name : {"Al", "Bo"}) {
        drivers.push_back(std::make_unique<TestClient>(uint16_t(serverPort)));
        drivers.back()->sendRaw(connectRequest({.guid = "guid-" + name, .userName = name}));
        ASSERT_TRUE(drivers.back()->waitFor(RV_ACCEPTED, 1000));
    }
    drivers[0]->sendRaw(lapMessage(1, 91000, 45000, 91000));
    drivers[1]->sendRaw(lapMessage(1, 89500, 44000, 89500));
    drivers[0]->sendRaw(lapMessage(2, 90000, 45000, 181000));

    httplib::Client http("127.0.0.1", webPort);
    http.set_connection_timeout(1);
    http.set_read_timeout(2);
    json state;
    EXPECT_TRUE(within(6000, [&] {
        auto res = http.Get("/live.json");
        state = res && res->status == 200 ? json::parse(res->body) : json::object();
        return state["standings"].size() == 2;
    })) << state.dump();
    EXPECT_EQ(state["session"]["name"], "Warm-up");
    EXPECT_EQ(state["session"]["status"].get<std::string>().substr(0, 1), "-") << state.dump();
    EXPECT_EQ(state["standings"], json::parse(R"([
        {"position":1,"name":"Bo","laps":1,"lastLap":"1:29:500","bestLap":"1:29:500","gap":null},
        {"position":2,"name":"Al","laps":2,"lastLap":"1:30:000","bestLap":"1:30:000",
         "gap":"+0:00:500"}])"));
    EXPECT_EQ(state["events"][0]["text"], "Al lap 2 in 1:30:000");
    auto page = http.Get("/");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("fetch(\"/live.json\""), std::string::npos);

    const char* const browser = "/usr/bin/chromium";
    if (!std::filesystem::exists(browser))
        GTEST_SKIP() << "no headless browser installed (scripts/deps.sh installs chromium)";
    const std::string url = "http://127.0.0.1:" + std::to_string(webPort) + "/";
    ToolRun dom = runTool(browser, {"--headless", "--no-sandbox", "--disable-gpu",
                                    "--virtual-time-budget=3000", "--dump-dom", url});
    const size_t bo = dom.out.find("<td>Bo</td>"), al = dom.out.find("<td>Al</td>");
    ASSERT_NE(bo, std::string::npos) << dom.out;
    EXPECT_LT(bo, al);
}
