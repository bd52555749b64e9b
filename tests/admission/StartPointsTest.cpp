// Start points read from the track's files, the free grid place, and the drivers' profiles.
#include <array>
#include <deque>

#include "admission/CRVClientConnection.h"
#include "support/ServerHarness.h"

namespace {

// Heights are always 0: the track files' y values are dropped.
void expectPoint(const StartPoint& p, std::array<float, 4> xzHeading) {
    const float got[] = {p.px, p.py, p.pz, p.hx, p.hy, p.hz},
                want[] = {xzHeading[0], 0, xzHeading[1], xzHeading[2], 0, xzHeading[3]};
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-6) << "field " << i;
}

TEST(StartPoints, NewFormatGivesSixteenPointsPerListAndTheOldOneIsTheFallback) {
    ServerHarness h, old;
    h.folder.write("tracks/testring/server/rvrefs.ini",
                   crlf("[PIT1]\nPOS=1,2,3\nROT=0,5,5\n[START1]\nPOS=10,3,-20\nROT=1.5707963,0,0\n"
                        "[BOX2]\nPOS=-4,1,4\nROT=3.14159265,0,0\n"));
    old.folder.write("server/tracks/testring/testring.ini",
                     crlf("[HEADER]\nSTARTPOS=5\nBOXPOS=0\n"
                          "[STARTPOS2]\nPOSX=7.5\nPOSZ=-2\nHEADINGX=0.6\nHEADINGZ=0.8\n"));
    EXPECT_TRUE(
        has(printed([&] { h.server->loadConfiguration(); }), "\nLoading Ralvo starting points\n"));
    EXPECT_TRUE(
        has(printed([&] { old.server->loadConfiguration(); }), "\nLoading old startpoints\n"));
    const CRVServer& s = *h.server;
    for (const std::vector<StartPoint>* list :
         {&s.startPoints.gridPoints, &s.startPoints.boxPoints, &s.startPoints.pitPoints})
        ASSERT_EQ(list->size(), 16u);
    expectPoint(s.startPoints.pitPoints[0], {1, 3, 0, 1});
    expectPoint(s.startPoints.gridPoints[0], {10, -20, 1, 0});
    expectPoint(s.startPoints.boxPoints[1], {-4, 4, 0, -1});
    // A section the file lacks, and places beyond either end of the list.
    for (const StartPoint& unset :
         {s.startPoints.gridPoints[15], pointAt(s.startPoints.gridPoints, 16),
          pointAt(s.startPoints.gridPoints, -1)})
        expectPoint(unset, {0, 0, 0, 1});

    ASSERT_EQ(old.server->startPoints.gridPoints.size(), 5u);
    EXPECT_TRUE(old.server->startPoints.boxPoints.empty() &&
                old.server->startPoints.pitPoints.empty());
    expectPoint(old.server->startPoints.gridPoints[1], {7.5f, -2, 0.6f, 0.8f});
    EXPECT_FALSE(old.server->loadStartPoints(old.folder.path() + "/absent.ini"));
    EXPECT_EQ(old.server->startPoints.gridPoints.size(), 5u);
}

TEST(StartPoints, FreeGridPlaceIsTheLowestUnheldAndFifteenWhenAllAreHeldAndProfilesAreSafe) {
    ServerHarness h;
    std::deque<CRVClientConnection> held;  // the server only borrows them
    for (int place : {0, 1, 3, -1, 30})
        h.server->clients.push_back(&(held.emplace_back().gridPlace = place, held.back()));
    EXPECT_EQ(h.server->getFreeGridPlace(), 2);
    for (int place = 2; place < 24; ++place)
        h.server->clients.push_back(&(held.emplace_back().gridPlace = place, held.back()));
    int place = -1;
    EXPECT_EQ(printed([&] { place = h.server->getFreeGridPlace(); }),
              "CRVServer::getFreeGridPlace() error.. all grid spot busy, returning 15\n");
    EXPECT_EQ(place, 15);
    h.server->clients.clear();

    // A profile is written once, and never outside its folder.
    h.server->saveUserProfile("abc-123");
    h.folder.write("server/users/abc-123.rvuser", "kept");
    for (const std::string guid : {"abc-123", "", ".", "..", "a/b", "a\\b", "tab\there", "del\x7f"})
        h.server->saveUserProfile(guid);
    EXPECT_EQ(h.folder.list("server/users"), std::vector<std::string>{"abc-123.rvuser"});
    EXPECT_EQ(h.folder.read("server/users/abc-123.rvuser"), "kept");
}

}  // namespace
