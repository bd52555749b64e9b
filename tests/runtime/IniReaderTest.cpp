#include <gtest/gtest.h>

#include "runtime/ZTINIReader.h"
#include "support/TempFolder.h"

namespace {

struct IniReader : ::testing::Test {
    ZTINIReader& read(const std::string& text) {
        folder.write("t.ini", text);
        ini.load(folder.path() + "/t.ini");
        return ini;
    }
    TempFolder folder;
    ZTINIReader ini;
};

// A missing key yields the whole section, as the configuration tests show.
TEST_F(IniReader, PlainSubstringSearchRulesThatConfigFilesRelyOn) {
    read(
        "[A]\r\nDRIVER10=ten\r\nDRIVER1=one\r\n;PORT=9000\r\nNAME= my server \r\nURL=http://x"
        "[y]\r\nAFTER=1\r\n[B]\r\nX=5\r\n");
    ASSERT_TRUE(ini.loaded);
    EXPECT_EQ(ini.getString("A", "DRIVER1") + "|" + ini.getString("A", "NAME") + "|" +
                  ini.getString("A", "URL") + "|" + ini.getString("a", "DRIVER1"),
              "ten| my server |http://x|");  // a '[' in a value ends it; names are case-sensitive
    EXPECT_EQ(std::tuple(ini.getInt("A", "PORT"), ini.getInt("A", "AFTER"), ini.getFloat("B", "X"),
                         ini.getInt("NOPE", "X")),
              std::tuple(9000, 0, 5.0f, 0));

    ini.load(folder.path() + "/absent.ini");
    EXPECT_FALSE(ini.loaded);
    EXPECT_EQ(ini.getInt("B", "X"), 5) << "a failed load keeps the old content";
    EXPECT_TRUE(read("").loaded);
    EXPECT_EQ(ini.getString("B", "X"), "");
    read(std::string("[S]\r\nK=4\r\n\0[S2]\r\nK=5\r\n", 22));
    EXPECT_EQ(ini.content, "[S]\r\nK=4\r\n") << "a zero byte ends the file";
}

TEST_F(IniReader, Vector3StaysInBoundsWithShortOrHugeValues) {
    read("[P]\r\nFULL=1.5,-2,3.25\r\nTWO=4,5\r\nHUGE=1.5,2.5," + std::string(300, '7') +
         "\r\nHUGE2=" + std::string(300, '8') + "\r\n");
    auto get = [&](const char* key) {
        float v[3] = {-1, -1, -1};
        ini.getVector3("P", key, v[0], v[1], v[2]);
        return std::vector<float>(v, v + 3);
    };
    EXPECT_EQ(get("FULL"), std::vector<float>({1.5f, -2.0f, 3.25f}));
    EXPECT_EQ(get("TWO"), std::vector<float>({4.0f, 5.0f, 0.0f})) << "missing fields read as 0";
    const std::vector<float> huge = get("HUGE");  // the third field is cut in the work buffer
    EXPECT_EQ(std::vector<float>(huge.begin(), huge.begin() + 2), std::vector<float>({1.5f, 2.5f}));
    get("HUGE2");
    EXPECT_EQ(get("NONE")[0], 0.0f)
        << "a missing key reads the section text, which starts with CR LF";
}

}  // namespace
