// The event-file readers over text in memory (as the fuzz targets and an importer use them) say
// exactly what the readers of the same files on disk say, names included.
#include <gtest/gtest.h>

#include "common/EventFiles.h"
#include "support/RaceFixture.h"

TEST(EventFiles, TextInMemoryReadsAsTheSameFileOnDisk) {
    TempFolder folder;
    const std::string whole = resultsFile("Race", 2, {"guid-a 85000 0 2 170000"});
    for (const std::string& text : {whole, whole.substr(0, whole.size() - 12), whole + "x=1\n"}) {
        folder.write("Race.txt", text);
        ResultsFile onDisk, inMemory;
        std::string diskError, memoryError;
        EXPECT_EQ(readResultsFile(folder.path() + "/Race.txt", onDisk, diskError),
                  parseResultsFile("Race.txt", text, inMemory, memoryError));
        EXPECT_EQ(diskError, memoryError);
        EXPECT_EQ(onDisk.file, inMemory.file);
        EXPECT_EQ(onDisk.standings.size(), inMemory.standings.size());
    }
    const std::string log = "0:00:000,START,testring,short,gt1;\n1:01:234,LAP,guid-a,1:01:234";
    for (bool partial : {false, true}) {
        folder.write("rvserverlog[01].txt", log);
        std::vector<LogEvent> onDisk, inMemory;
        std::string diskError, memoryError;
        EXPECT_EQ(readEventLog(folder.path() + "/rvserverlog[01].txt", onDisk, diskError, partial),
                  parseEventLog("rvserverlog[01].txt", log, inMemory, memoryError, partial));
        EXPECT_EQ(diskError, memoryError);
        EXPECT_EQ(onDisk.size(), inMemory.size());
    }
}
