// What the operator tools show of kicks, bans and the message of the day.
#include "tools/ToolRunner.h"

TEST(BanTools, ResultsListRaceControlAndCheckShowsTheBanListAndTheMessageOfTheDay) {
    TempFolder event;
    event.write("server/sessions/Cup_Practice.txt", resultsFile("Practice", 0, {"guid-a 0 0 0 0"}));
    event.write("server/logs/rvserverlog[12_07_12_00].txt",
                "0:00:001,SESSION,Practice,0,0,0,0,0,0,0,0\n"
                "0:05:000,KICK,guid-a,127.0.0.1,boss,wrecking, twice\n"
                "0:06:000,BAN,10.0.0.0/8,console,0,spam\n0:07:000,UNBAN,10.0.0.0/8,console\n"
                "0:08:000,BANNED,guid-b,10.1.1.1,no reason given\n");
    const std::string out = runTool("rvresults", {event.path()}).out;
    EXPECT_EQ(out.substr(out.find("  0:05")),
              "  0:05:000 KICK guid-a (127.0.0.1) by boss: wrecking, twice\n"
              "  0:06:000 BAN 10.0.0.0/8 for good by console: spam\n"
              "  0:07:000 UNBAN 10.0.0.0/8 by console\n"
              "  0:08:000 BANNED guid-b (10.1.1.1): no reason given\n");

    TempFolder folder;
    fs::copy(RV_SOURCE_DIR "/demo", folder.path(), fs::copy_options::recursive);
    const std::string motd(64, 'm');
    folder.write("cfg/rvservercfg.ini",
                 withEdits(folder.read("cfg/rvservercfg.ini"), {"PASSWORD=\r\nMOTD=" + motd}));
    folder.write("cfg/bans.ini",
                 crlf("[BAN0]\nGUID=cheat\nSTART=2026-01-01 00:00:00 UTC\nMINUTES=0\nREASON=bot\n"
                      "ADMIN=boss\nREFUSED=4\n[BAN1]\nADDRESS=10.0.0.0/8\nSTART=2020-01-01 "
                      "00:00:00\nMINUTES=1\n[BAN2]\nGUID=x\nSTART=soon\nMINUTES=1\n"));
    ToolRun run = runTool("rvcheck", {folder.path(), "--json"});
    json report = json::parse(run.out);
    EXPECT_EQ(std::tuple(report["motd"], report["banList"], report["warnings"]),
              std::tuple(json(motd), json::parse(R"({"file":"cfg/bans.ini","present":true,
                  "active":1,"expired":1,"unreadable":1,"bans":[{"target":"cheat","until":null,
                  "admin":"boss","reason":"bot","refused":4}]})"),
                         json::parse(R"([
                  "MOTD has 64 characters: chat lines hold 63, so nobody would see it",
                  "ban list cfg/bans.ini: [BAN2] ignored: START is not YYYY-MM-DD HH:MM:SS UTC"])")));
    EXPECT_TRUE(has(runTool("rvcheck", {folder.path()}).out,
                    "\nban list: cfg/bans.ini, 1 active, 1 expired\n"
                    "  cheat for good by boss, 4 turned away: bot\n"));
}
