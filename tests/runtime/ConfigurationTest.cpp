#include <gtest/gtest.h>

#include "support/ServerHarness.h"

namespace {

const std::string kSectionText = crlf(
    "\nACCEPTVERSION=120\nNAME=ABCDEFGHIJKLMNOPQRSTUVWXYZ\nPORT=0\nBANDWIDTH=5000\n"
    "FULLMODE=3\nRAIN=1\nDAMAGE=2\nMAXVALIDLAPS=3\nSESSIONS=2\n");

TEST(Configuration, DocumentsFolderFileWithItsConversionsSessionsAndEntryList) {
    ServerHarness h(crlf("[CONFIGURATION]\nNAME=from cfg\nPORT=0\n"));
    h.folder.write("no-documents/Ralvo/cfg/rvservercfg.ini",
                   "[CONFIGURATION]" + kSectionText +
                       crlf("[SESSION0]\nTYPE=258\nNAME=Heat\nRACELAPS=4\nMAXLAPS=300\n"
                            "WAITTIME=30\nSESTIME=10\n[ENTRYLIST]\nENTRIES=2\nUSEFORGRID=1\n"
                            "DRIVER0=g-zero\nBALLAST0=25\nDRIVER1=g-one\nBALLAST1=0\n"));
    const std::string text = printed([&] { h.start(false); });
    const ServerConfig& c = h.server->config;
    EXPECT_EQ(c.acceptVersion, 131);
    EXPECT_EQ(c.name, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(c.password, kSectionText) << "a missing text key yields the section";
    EXPECT_FLOAT_EQ(c.bandwidth, 5000.0f);
    EXPECT_TRUE(c.fullMode);
    EXPECT_EQ(c.maxValidLaps, 3);
    EXPECT_EQ(h.server->race.maxValidLaps, 10000) << "the limit in force ignores the file";

    ASSERT_EQ(h.server->sessions.size(), 2u);
    const SessionRecord& s = h.server->sessions[0];
    EXPECT_EQ(s.maxLaps, 44) << "low 8 bits of 300";
    EXPECT_EQ(s.waitTime, 30000);
    EXPECT_EQ(s.acceptNew, 0);
    EXPECT_EQ(h.server->sessions[1].waitTime, 0) << "a missing section reads as zeros";

    ASSERT_EQ(c.entryList.size(), 2u);
    EXPECT_EQ(c.entryList[0].driver + "/" + c.entryList[1].driver, "g-zero/g-one");
    EXPECT_EQ(c.entryList[0].ballast, 25);
    EXPECT_TRUE(c.useForGrid);

    EXPECT_TRUE(has(text, "Docs folder is " + h.folder.path() + "/no-documents\n"));
    EXPECT_TRUE(has(text, "RAIN=1\nDAMAGE=2\n"));
    EXPECT_TRUE(has(text,
                    "Session Heat\nType=2\nTime=600000\nLaps=4\n"
                    "Session \nType=0\nTime=0\nLaps=0\n"));
    EXPECT_TRUE(has(text,
                    "ADDED DRIVER g-zero (25kg)TO ENTRY LIST\n"
                    "ADDED DRIVER g-one (0kg)TO ENTRY LIST\n"));
}

TEST(Configuration, LineFeedOnlyMissingAndAbsurdFilesStillStart) {
    auto run = [](const std::string& config) {
        auto h = std::make_unique<ServerHarness>(config);
        h->start();
        EXPECT_NE(h->port(), 0);
        for (int i = 0; i < 5; ++i)
            h->advance(700);
        return h;
    };
    std::string lfOnly = defaultConfig();
    std::erase(lfOnly, '\r');
    auto lf = run(lfOnly);
    EXPECT_EQ(lf->server->config.maxClients, 8);
    EXPECT_EQ(lf->server->config.name, "Test Server\nTRACK=t");
    ASSERT_EQ(lf->server->sessions.size(), 1u);
    EXPECT_EQ(lf->server->sessions[0].waitTime, 30000);

    auto missing = run("");
    EXPECT_TRUE(missing->server->sessions.empty());
    EXPECT_EQ(missing->server->config.port, 0);

    auto absurd = run(crlf("[CONFIGURATION]\nMAXCLIENTS=-1\nNAME=" + std::string(500, 'n') +
                           "\nPORT=0\nBANDWIDTH=-7\nRAIN=99999\nSESSIONS=-5\n"
                           "[ENTRYLIST]\nENTRIES=3\nDRIVER0=x\n"));
    EXPECT_TRUE(absurd->server->sessions.empty());
    EXPECT_EQ(absurd->server->config.entryList.size(), 3u);
}

}  // namespace
