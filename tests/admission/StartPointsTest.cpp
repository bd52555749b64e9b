#include <gtest/gtest.h>

#include "admission/CRVClientConnection.h"
#include "support/ServerHarness.h"

namespace {

void expectPoint(const StartPoint& p, float px, float pz, float hx, float hz) {
    EXPECT_FLOAT_EQ(p.px, px);
    EXPECT_EQ(p.py, 0.0f);
    EXPECT_FLOAT_EQ(p.pz, pz);
    EXPECT_NEAR(p.hx, hx, 1e-6);
    EXPECT_EQ(p.hy, 0.0f);
    EXPECT_NEAR(p.hz, hz, 1e-6);
}

TEST(StartPoints, NewFormatGivesSixteenPointsPerListWithHeadingsFromTheAngle) {
    ServerHarness h;
    h.folder.write("tracks/testring/server/rvrefs.ini",
                   crlf("[PIT1]\nPOS=1,2,3\nROT=0,5,5\n"
                        "[START1]\nPOS=10,3,-20\nROT=1.5707963,0,0\n"
                        "[BOX2]\nPOS=-4,1,4\nROT=3.14159265,0,0\n"));
    StdoutCapture out;
    h.server->loadConfiguration();
    EXPECT_NE(out.take().find("Loading Ralvo starting points\n"), std::string::npos);
    const CRVServer& s = *h.server;
    ASSERT_EQ(s.gridPoints.size(), 16u);
    ASSERT_EQ(s.boxPoints.size(), 16u);
    ASSERT_EQ(s.pitPoints.size(), 16u);
    expectPoint(s.pitPoints[0], 1, 3, 0, 1);
    expectPoint(s.gridPoints[0], 10, -20, 1, 0);
    expectPoint(s.boxPoints[1], -4, 4, 0, -1);
    expectPoint(s.gridPoints[15], 0, 0, 0, 1);  // a section the file lacks
    expectPoint(pointAt(s.gridPoints, 16), 0, 0, 0, 1);
    expectPoint(pointAt(s.gridPoints, -1), 0, 0, 0, 1);
}

TEST(StartPoints, OldFormatIsTheFallbackAndHasNoPitPoints) {
    ServerHarness h;
    h.folder.write("server/tracks/testring/testring.ini",
                   crlf("[HEADER]\nSTARTPOS=5\nBOXPOS=0\n"
                        "[STARTPOS2]\nPOSX=7.5\nPOSZ=-2\nHEADINGX=0.6\nHEADINGZ=0.8\n"));
    StdoutCapture out;
    h.server->loadConfiguration();
    EXPECT_NE(out.take().find("Loading old startpoints\n"), std::string::npos);
    ASSERT_EQ(h.server->gridPoints.size(), 5u);
    EXPECT_TRUE(h.server->boxPoints.empty());
    EXPECT_TRUE(h.server->pitPoints.empty());
    expectPoint(h.server->gridPoints[1], 7.5f, -2, 0.6f, 0.8f);
    EXPECT_FALSE(h.server->loadStartPoints(h.folder.path() + "/absent.ini"));
    EXPECT_EQ(h.server->gridPoints.size(), 5u);
}

TEST(StartPoints, FreeGridPlaceIsTheLowestUnheldAndFifteenWhenAllAreHeld) {
    ServerHarness h;
    std::vector<std::unique_ptr<CRVClientConnection>> owned;
    auto hold = [&](int place) {
        owned.push_back(std::make_unique<CRVClientConnection>());
        owned.back()->gridPlace = place;
        h.server->clients.push_back(owned.back().get());
    };
    for (int place : {0, 1, 3, -1, 30})
        hold(place);
    EXPECT_EQ(h.server->getFreeGridPlace(), 2);
    for (int place = 2; place < 24; ++place)
        hold(place);
    StdoutCapture out;
    EXPECT_EQ(h.server->getFreeGridPlace(), 15);
    EXPECT_EQ(out.take(),
              "CRVServer::getFreeGridPlace() error.. all grid spot busy, returning 15\n");
    h.server->clients.clear();
}

TEST(UserProfile, WrittenOnceAndNeverForAnUnsafeGuid) {
    ServerHarness h;
    h.server->saveUserProfile("abc-123");
    EXPECT_EQ(h.folder.read("server/users/abc-123.rvuser"), "abc-123\n");
    h.folder.write("server/users/abc-123.rvuser", "kept");
    h.server->saveUserProfile("abc-123");
    EXPECT_EQ(h.folder.read("server/users/abc-123.rvuser"), "kept");

    for (const std::string guid : {"", ".", "..", "a/b", "a\\b", "tab\there", "del\x7f"})
        h.server->saveUserProfile(guid);
    EXPECT_EQ(h.folder.list("server/users"), std::vector<std::string>{"abc-123.rvuser"});
}

}  // namespace
