#include <gtest/gtest.h>

#include "support/ServerHarness.h"

namespace {

const std::string kSectionText = crlf(
    "\n"
    "ACCEPTVERSION=120\n"
    "NAME=ABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
    "PORT=0\n"
    "BANDWIDTH=5000\n"
    "FULLMODE=3\n"
    "RAIN=1\n"
    "DAMAGE=2\n"
    "MAXVALIDLAPS=3\n"
    "SESSIONS=2\n");

const std::string kConfig = "[CONFIGURATION]" + kSectionText +
                            crlf(
                                "[SESSION0]\n"
                                "TYPE=258\n"
                                "NAME=Heat\n"
                                "RACELAPS=4\n"
                                "MAXLAPS=300\n"
                                "WAITTIME=30\n"
                                "SESTIME=10\n"
                                "[ENTRYLIST]\n"
                                "ENTRIES=2\n"
                                "USEFORGRID=1\n"
                                "DRIVER0=g-zero\n"
                                "BALLAST0=25\n"
                                "DRIVER1=g-one\n"
                                "BALLAST1=0\n");

}  // namespace

TEST(Configuration, DocumentsFolderFileWithItsConversionsSessionsAndEntryList) {
    ServerHarness h(crlf("[CONFIGURATION]\nNAME=from cfg\nPORT=0\n"));
    h.folder.write("no-documents/Ralvo/cfg/rvservercfg.ini", kConfig);
    StdoutCapture out;
    h.start(false);
    const std::string text = out.take();
    const ServerConfig& c = h.server->config;
    EXPECT_EQ(c.acceptVersion, 131);
    EXPECT_EQ(c.name, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(c.password, kSectionText) << "a missing text key yields the section";
    EXPECT_FLOAT_EQ(c.bandwidth, 5000.0f);
    EXPECT_TRUE(c.fullMode);
    EXPECT_EQ(c.maxValidLaps, 3);
    EXPECT_EQ(h.server->maxValidLaps, 10000) << "the limit in force ignores the file";

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

    EXPECT_NE(text.find("Docs folder is " + h.folder.path() + "/no-documents\n"),
              std::string::npos);
    EXPECT_NE(text.find("RAIN=1\nDAMAGE=2\n"), std::string::npos);
    EXPECT_NE(text.find("Session Heat\nType=2\nTime=600000\nLaps=4\n"
                        "Session \nType=0\nTime=0\nLaps=0\n"),
              std::string::npos);
    EXPECT_NE(text.find("ADDED DRIVER g-zero (25kg)TO ENTRY LIST\n"
                        "ADDED DRIVER g-one (0kg)TO ENTRY LIST\n"),
              std::string::npos);
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
