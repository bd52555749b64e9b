#pragma once
// Messages a simulator or a status tool sends to a server it is not yet a client of.

#include <cstdint>
#include <string>
#include <vector>

struct ConnectFields {
    bool spectator = false;
    std::string guid = "guid-1";
    std::string userName = "Driver";
    std::string team = "Team";
    std::string extraName{};
    std::string model = "gt1";
    uint16_t raceNumber = 7;
    int32_t version = 131;
    uint8_t bandwidth = 50;
    std::string password{};
    std::string frontTyre = "front.rvt";
    std::string rearTyre = "rear.rvt";
    int32_t tyreChecksum = 0;
    std::string nationality = "IT";
    float accidentRatio = 0.25f;
    int32_t onlineKm = 1200;
    float dnfRatio = 0.5f;
};

// The full 294-byte connection request.
std::vector<uint8_t> connectRequest(const ConnectFields& f);
// Status query with the asker's four-byte token.
std::vector<uint8_t> statusQuery(uint32_t token);
// Remote console command, its text NUL-terminated.
std::vector<uint8_t> adminCommand(const std::string& password, const std::string& command);
