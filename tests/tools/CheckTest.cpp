// rvcheck on the shipped demo event and on a working directory full of configuration traps.
#include "tools/ToolRunner.h"

// Both the shipped event and the short one `make demo` runs.
TEST(ToolsCheck, DemoEventsHaveNoWarnings) {
    for (const char* config : {"/demo/cfg/rvservercfg.ini", "/tools/demo/rvservercfg.ini"}) {
        TempFolder folder;  // the event one folder down: other tests' events are no siblings
        const std::string event = folder.path() + "/event";
        fs::copy(RV_SOURCE_DIR "/demo", event, fs::copy_options::recursive);
        fs::copy_file(std::string(RV_SOURCE_DIR) + config, event + "/cfg/rvservercfg.ini",
                      fs::copy_options::overwrite_existing);
        ToolRun run = runTool("rvcheck", {event, "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.out;
        json report = json::parse(run.out);
        EXPECT_EQ(report["warnings"], json::array());
        EXPECT_EQ(report["errors"], json::array());
        EXPECT_EQ(report["startPoints"]["format"], "new");
    }
}

TEST(ToolsCheck, NamesEveryTrapWithItsReasonAndFailsOnErrors) {
    TempFolder folder;
    const std::string event = folder.path() + "/event";
    folder.write("event/cfg/rvservercfg.ini",
                 crlf("[CONFIGURATION]\nMAXCLIENTS=40\nACCEPTVERSION=120\n"
                      "NAME=The Very Long Server Name Cup\nTRACK=oak\nCONFIGURATION=gp\n"
                      "CAR=gt3;gt4;\n;ADMIN=old\nADMIN=pitwall\nPORT=7000\nFRONTTIRE=f.rvt\n"
                      "REARTIRE=r.rvt\nMAXVALIDLAPS=50\nSESSIONS=2\n"
                      "[SESSION0]\nTYPE=2\nRACELAPS=3\nWAITTIME=30\nACCEPTNEW=1\n"
                      "[ENTRYLIST]\nENTRIES=2\nDRIVER10=zed\nDRIVER0=amy\nBALLAST0=20\n"
                      "DRIVER1=bob\nBALLAST1=10\n"));
    folder.write("event/cars/gt3/tyres/f.rvt", "abc");
    folder.makeFolder("event/server/logs");
    ToolRun run = runTool("rvcheck", {event, "--json"});
    EXPECT_EQ(run.exitCode, 1);
    json report = json::parse(run.out);
    EXPECT_EQ(report["errors"], json::parse(R"([
        "[CONFIGURATION] PASSWORD is missing: the join password becomes the whole section's text, so nobody can join",
        "SESSIONS counts [SESSION1], which does not exist: the server runs it with every number 0",
        "tyre rules name cars/gt3/tyres/r.rvt, which is missing: every client would be refused"])"));
    EXPECT_EQ(report["warnings"], json::parse(R"([
        "[CONFIGURATION] ADMIN is read from the line \";ADMIN=old\": a \";\" line is not a comment",
        "NAME is longer than 19 characters: the server shows \"The Very Long Serve\"",
        "ACCEPTVERSION=120 is ignored: the server admits client version 131 only",
        "MAXVALIDLAPS=50 is ignored: the server uses 10000",
        "MAXCLIENTS=40 is over 32: the server has 32 slots",
        "[SESSION0] NAME is missing: the name becomes the section's text",
        "[ENTRYLIST] DRIVER1 is read from the line \"DRIVER10=zed\": the key is found inside another key or value",
        "no start points: neither tracks/oak/server/rvrefs.ini nor server/tracks/oak/oak.ini exists, every car starts at the origin",
        "server/users/ is missing: no profiles would be written",
        "server/sessions/ is missing: no results would be written",
        "server/replay/ is missing: no recording would be written"])"));
    EXPECT_EQ(report["entryList"], json::parse(R"({"useForGrid":false,"entries":[
        {"driver":"amy","ballast":20,"gridPlace":null},{"driver":"zed","ballast":10,"gridPlace":null}]})"));
    EXPECT_EQ(report["checksums"]["tyres"], json::parse(R"({"value":984,"files":[
        {"path":"cars/gt3/tyres/f.rvt","present":true},{"path":"cars/gt3/tyres/f.rvt","present":true}]})"));
    EXPECT_EQ(report["configuration"]["PASSWORD"].get<std::string>().substr(0, 15),
              "\r\nMAXCLIENTS=40");

    // A file saved with LF line ends breaks every text value; the readable block says so last.
    folder.write("event/cfg/rvservercfg.ini",
                 "[CONFIGURATION]\nNAME=x\nPASSWORD=\nSESSIONS=1\n[SESSION0]\nNAME=P\n");
    ToolRun lf = runTool("rvcheck", {event});
    EXPECT_EQ(lf.exitCode, 1);
    EXPECT_TRUE(has(lf.out,
                    "\nerror: the configuration has LF-only line ends: every text value "
                    "runs to the end of its section\n"))
        << lf.out;
    EXPECT_EQ(runTool("rvcheck", {folder.path() + "/none"}).out,
              "directory: " + folder.path() + "/none\nerror: cannot read the working directory " +
                  folder.path() + "/none: No such file or directory\n");
}
