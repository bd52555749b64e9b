#pragma once
// Messages a simulator or a status tool sends to a server, and the chat lines it gets back.

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
// A lap report: lap number, lap time, split time and total race time.
std::vector<uint8_t> lapMessage(uint32_t number, int32_t lapTime, int32_t split, int32_t total);
// A chat line as it travels: type, sender id, length, text without terminator.
std::vector<uint8_t> chat(const std::string& text, uint8_t sender = 0);
