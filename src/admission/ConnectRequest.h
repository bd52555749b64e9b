#pragma once

#include <cstdint>
#include <string>

// The connection request as read off the wire. Texts stop at their terminator or their wire
// width and are cut to what the client record can hold; missing bytes of a short request read
// as zero.
struct ConnectRequest {
    bool spectator = false;
    std::string guid, userName, team, extraName, model, password;
    std::string frontTyre, rearTyre, nationality;
    int raceNumber = 0;
    int32_t version = 0;
    uint8_t bandwidth = 0;
    float connectValue1 = 0, connectValue2 = 0;
    int32_t tyreChecksum = 0;
    float accidentRatio = 0, dnfRatio = 0;
    int32_t onlineKm = 0;

    static ConnectRequest read(const uint8_t* data, int size);
};
