#include <regex>

#include "admission/CRVClientConnection.h"
#include "support/ServerHarness.h"

const std::string kSectionText = crlf(
    "\nACCEPTVERSION=120\nNAME=ABCDEFGHIJKLMNOPQRSTUVWXYZ\nPORT=0\nBANDWIDTH=5000\n"
    "FULLMODE=3\nRAIN=1\nDAMAGE=2\nMAXVALIDLAPS=3\nSESSIONS=2\n");

// The console is compared whole but for the lines that name this machine's host and buffers
// and the fixed bandwidth estimate.
TEST(Configuration, DocumentsFolderFileIsReadConvertedAndShownThenTheServerRunsAndStopsOnce) {
    ServerHarness h(crlf("[CONFIGURATION]\nNAME=from cfg\nPORT=0\n"));
    h.folder.write("no-documents/Ralvo/cfg/rvservercfg.ini",
                   "[CONFIGURATION]" + kSectionText +
                       crlf("[SESSION0]\nTYPE=258\nNAME=Heat\nRACELAPS=4\nMAXLAPS=300\n"
                            "WAITTIME=30\nSESTIME=10\n[ENTRYLIST]\nENTRIES=2\nUSEFORGRID=1\n"
                            "DRIVER0=g-zero\nBALLAST0=25\nDRIVER1=g-one\nBALLAST1=0\n"));
    const std::string text = h.start();
    const std::regex machine(
        "Host name[^]*RUNNING @ \\S*|Max buffer[^]*?\n(?=Init)|One packet[^]*?(?=Initializing)");
    EXPECT_EQ(
        std::regex_replace(text, machine, ""),
        "Docs folder is " + h.folder.path() +
            "/no-documents\nRAIN=1\nDAMAGE=2\nSession Heat\nType=2\nTime=600000\nLaps=4\n"
            "Session \nType=0\nTime=0\nLaps=0\nADDED DRIVER g-zero (25kg)TO ENTRY LIST\n"
            "ADDED DRIVER g-one (0kg)TO ENTRY LIST\nLoading old startpoints\nCHECKSUMS:\n"
            "RVS=99\nTRACK=297\nCAR=99\nTYRES=198\n***** rvServer v1.2.0 ******\n PORT 0\n"
            "BINDING\nmyport=0\nInit non-blocking socket mode\nInit high performance timer...\n"
            "Initializing message router\nEvolving session -1 2\nCurrent session=0\n");
    const ServerConfig& c = h.server->config;
    // A missing text key yields its section; the limit in force ignores the file's.
    EXPECT_EQ(std::tuple(c.acceptVersion, c.name, c.password, c.bandwidth, c.fullMode,
                         c.maxValidLaps, h.server->race.maxValidLaps),
              std::tuple(131, "ABCDEFGHIJKLMNOPQRS", kSectionText, 5000.0f, true, 3, 10000));
    ASSERT_EQ(h.server->sessions.size(), 2u);
    const SessionRecord &s = h.server->sessions[0], &missing = h.server->sessions[1];
    EXPECT_EQ(std::tuple(s.maxLaps, s.waitTime, s.acceptNew, s.startTime, missing.waitTime),
              std::tuple(44, 30000, 0, 30000u, 0));  // the low 8 bits of 300 laps

    h.server->clients.push_back(new CRVClientConnection());
    h.server->shutdown();
    EXPECT_TRUE(h.server->clients.empty());
    EXPECT_EQ(h.server->statistics, nullptr);
    h.server->shutdown();  // and once more from the destructor; nothing is freed twice
}

// Each file's name, client limit, port, sessions and entries; the name takes up to 19 characters.
TEST(Configuration, LineFeedOnlyMissingAndAbsurdFilesStillStart) {
    std::string lfOnly = defaultConfig(), read;
    std::erase(lfOnly, '\r');
    for (const std::string& config :
         {lfOnly, std::string(),
          crlf("[CONFIGURATION]\nMAXCLIENTS=-1\nNAME=" + std::string(500, 'n') +
               "\nPORT=0\nBANDWIDTH=-7\nRAIN=99999\nSESSIONS=-5\n[ENTRYLIST]\nENTRIES=3\n")}) {
        ServerHarness h(config);
        h.start();
        for (int i = 0; i < 5; ++i)
            h.advance(700);
        EXPECT_NE(h.port(), 0);
        const ServerConfig& c = h.server->config;
        read += c.name + "|" + std::to_string(c.maxClients) + "|" + std::to_string(c.port) + "|" +
                std::to_string(h.server->sessions.size()) + "|" +
                std::to_string(c.entryList.size()) + "\n";
    }
    EXPECT_EQ(read, "Test Server\nTRACK=t|8|0|1|0\n|0|0|0|0\nnnnnnnnnnnnnnnnnnnn|-1|0|0|3\n");
}
