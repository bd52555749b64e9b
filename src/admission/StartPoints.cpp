// Grid, box and pit coordinates of the track, loaded once at start-up.
#include <cmath>
#include <cstdio>
#include <string>

#include "admission/CRVClientConnection.h"
#include "runtime/CRVServer.h"
#include "runtime/ZTINIReader.h"

namespace {

// An old-format header can claim any count; more points than this no track has.
constexpr int kMaxListLength = 1000;

// The track files store a yaw angle; clients want the forward vector it turns (0, 0, 1) into.
StartPoint pointFrom(float px, float pz, float angle) {
    StartPoint p;
    p.px = px;
    p.pz = pz;
    if (angle != 0.0f) {
        p.hx = std::sin(angle);
        p.hz = std::cos(angle);
    }
    return p;
}

StartPoint readNewPoint(const ZTINIReader& ini, const std::string& section) {
    float px = 0, py = 0, pz = 0, a = 0, b = 0, c = 0;
    ini.getVector3(section, "POS", px, py, pz);
    ini.getVector3(section, "ROT", a, b, c);
    return pointFrom(px, pz, a);
}

StartPoint readOldPoint(const ZTINIReader& ini, const std::string& section) {
    StartPoint p;
    p.px = ini.getFloat(section, "POSX");
    p.pz = ini.getFloat(section, "POSZ");
    p.hx = ini.getFloat(section, "HEADINGX");
    p.hz = ini.getFloat(section, "HEADINGZ");
    return p;
}

}  // namespace

std::string startPointFile(const std::string& track) {
    return "tracks/" + track + "/server/rvrefs.ini";
}

std::string oldStartPointFile(const std::string& track) {
    return "server/tracks/" + track + "/" + track + ".ini";
}

bool readStartPoints(const std::string& file, std::vector<StartPoint>& grid,
                     std::vector<StartPoint>& box, std::vector<StartPoint>& pit) {
    ZTINIReader ini;
    ini.load(file);
    if (!ini.loaded)
        return false;
    for (int n = 1; n <= 16; ++n) {
        const std::string number = std::to_string(n);
        pit.push_back(readNewPoint(ini, "PIT" + number));
        grid.push_back(readNewPoint(ini, "START" + number));
        box.push_back(readNewPoint(ini, "BOX" + number));
    }
    return true;
}

void readOldStartPoints(const std::string& file, std::vector<StartPoint>& grid,
                        std::vector<StartPoint>& box) {
    ZTINIReader ini;
    ini.load(file);
    const int starts = ini.getInt("HEADER", "STARTPOS");
    const int boxes = ini.getInt("HEADER", "BOXPOS");
    for (int n = 1; n <= starts && n <= kMaxListLength; ++n)
        grid.push_back(readOldPoint(ini, "STARTPOS" + std::to_string(n)));
    for (int n = 1; n <= boxes && n <= kMaxListLength; ++n)
        box.push_back(readOldPoint(ini, "BOXPOS" + std::to_string(n)));
}

bool CRVServer::loadStartPoints(const std::string& file) {
    std::vector<StartPoint> grid, box, pit;
    if (!readStartPoints(file, grid, box, pit))
        return false;
    std::printf("Loading Ralvo starting points\n");
    startPoints.gridPoints.insert(startPoints.gridPoints.end(), grid.begin(), grid.end());
    startPoints.boxPoints.insert(startPoints.boxPoints.end(), box.begin(), box.end());
    startPoints.pitPoints.insert(startPoints.pitPoints.end(), pit.begin(), pit.end());
    return true;
}

void CRVServer::loadOldStartPoints(const std::string& file) {
    std::printf("Loading old startpoints\n");
    readOldStartPoints(file, startPoints.gridPoints, startPoints.boxPoints);
}

int CRVServer::getFreeGridPlace() const {
    bool taken[24] = {};
    for (const CRVClientConnection* c : clients)
        if (c->gridPlace >= 0 && c->gridPlace < 24)
            taken[c->gridPlace] = true;
    for (int place = 0; place < 24; ++place)
        if (!taken[place])
            return place;
    std::printf("CRVServer::getFreeGridPlace() error.. all grid spot busy, returning 15\n");
    return 15;
}
