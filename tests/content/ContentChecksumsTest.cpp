#include "content/ContentChecksums.h"

#include "support/ServerHarness.h"

// Files that cannot be opened, a folder that opens but cannot be read, and a file whose reads
// fail all end the sum at once. The first car's name is cut to the work buffer.
TEST(ContentChecksums, LastByteCountsTwiceBytesAreSignedAndTheFirstCarNameEndsAtItsSeparator) {
    TempFolder folder;
    const struct {
        std::string bytes;
        int32_t sum;
    } cases[] = {{"abc", 492}, {"\x05", 109}, {"\xff\x01", 100}, {"", 99}, {"\x80", -157}};
    for (const auto& c : cases) {
        folder.write("f.bin", c.bytes);
        EXPECT_EQ(checksumFile(folder.path() + "/f.bin"), c.sum) << c.bytes;
    }
    folder.makeFolder("tyres");
    for (const std::string& path :
         {folder.path() + "/missing.bin", folder.path() + "/tyres", std::string("/proc/self/mem")})
        EXPECT_EQ(checksumFile(path), 99) << path;
    EXPECT_EQ(firstCarName("solo") + "|" + firstCarName(";gt2;") + "|" +
                  firstCarName(std::string(300, 'c') + ";"),
              "solo||" + std::string(255, 'c'));
}

// The event's car list names gt1 first; its second car's files must not count.
TEST(ContentChecksums, ServerSumsItsOwnContentFilesAtStartUp) {
    ServerHarness h;
    h.folder.write("rvp/rvs.exe", "\x01");                   // 101
    h.folder.write("tracks/testring/testring.zto", "\x02");  // 103
    h.folder.write("tracks/testring/testring.rvo", "\x03");  // 105, no configuration file
    h.folder.write("cars/gt1/rvdk/gt1.rvdk", "\x04");        // 107
    h.folder.write("cars/gt2/rvdk/gt2.rvdk", "\x7f");
    h.folder.write("cars/gt1/tyres/front.rvt", "\x05");  // 109
    h.folder.write("cars/gt1/tyres/rear.rvt", "\x06");
    EXPECT_TRUE(has(printed([&] { h.server->loadConfiguration(); }),
                    "CHECKSUMS:\nRVS=101\nTRACK=307\nCAR=107\nTYRES=218\n"));
}
