#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/ZSystem.h"

TEST(SystemPaths, CrashReportNameCarriesLocalTimeProcessAndThreadAndTheFolderEndsAtASeparator) {
    // 2 March 2024, 14:05:09; 29 February 2000 just before midnight; 1 January 1970
    EXPECT_EQ(platform::crashDumpName(1709388309, 4242, 77),
              "dumps/rvServer_v1.0.3-20240302-140509-4242-77.dmp");
    EXPECT_EQ(platform::crashDumpName(951868799, 1, 2),
              "dumps/rvServer_v1.0.3-20000229-235959-1-2.dmp");
    EXPECT_EQ(platform::crashDumpName(0, 9, 9), "dumps/rvServer_v1.0.3-19700101-000000-9-9.dmp");
    EXPECT_EQ(ZSystem::folderOf("C:\\srv\\bin\\server.exe"), "C:\\srv\\bin");
    EXPECT_EQ(ZSystem::folderOf("rvserver"), "..");
}
