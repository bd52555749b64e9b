#pragma once

#include <string>
#include <vector>

#include "protocol/ByteWriter.h"

// A place on the track: horizontal position and heading (y is always 0).
struct StartPoint {
    float px = 0, py = 0, pz = 0;
    float hx = 0, hy = 0, hz = 1;
};

// The track's three lists: grid places, the boxes drivers start from, and the pit points.
struct StartPointLists {
    std::vector<StartPoint> gridPoints;
    std::vector<StartPoint> boxPoints;
    std::vector<StartPoint> pitPoints;
    void clear() {
        gridPoints.clear();
        boxPoints.clear();
        pitPoints.clear();
    }
};

// Lists may be shorter than the grid places and slots used with them; a missing entry is the
// point at the origin heading (0, 0, 1).
inline StartPoint pointAt(const std::vector<StartPoint>& list, int index) {
    if (index < 0 || size_t(index) >= list.size())
        return StartPoint{};
    return list[size_t(index)];
}

// On the wire a point is its six floats in field order.
inline void writeStartPoint(ByteWriter& w, const StartPoint& p) {
    for (float v : {p.px, p.py, p.pz, p.hx, p.hy, p.hz})
        w.f32(v);
}

// The track's start-point files, relative to the working folder: the new format first.
std::string startPointFile(const std::string& track);
std::string oldStartPointFile(const std::string& track);
// New format: 16 points in each list, whatever the file holds; false (lists untouched) when the
// file cannot be read.
bool readStartPoints(const std::string& path, std::vector<StartPoint>& grid,
                     std::vector<StartPoint>& box, std::vector<StartPoint>& pit);
// Old format: as many grid and box points as its header claims; no pit points.
void readOldStartPoints(const std::string& path, std::vector<StartPoint>& grid,
                        std::vector<StartPoint>& box);
