#pragma once
// Messages a simulator sends to the server, built with the server's own writer and layouts, and
// the transport framing around them. Shared by the companion tools and the tests, so that a
// layout lives in one place whichever side builds it.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/RaceLayouts.h"

using Bytes = std::vector<uint8_t>;

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

// The full 294-byte connection request (a driver's or a spectator's).
Bytes connectRequest(const ConnectFields& f);

namespace peer {

constexpr size_t kCarStateSize = car_update::kStateSize;

Bytes carUpdate(uint32_t sequence, const uint8_t (&state)[kCarStateSize], uint8_t flags);
Bytes lapCompleted(uint32_t lap, int32_t lapTime, int32_t splitTime, int32_t totalTime);
Bytes ping(uint16_t roundTripMs, uint32_t stamp);
Bytes chat(uint8_t sender, const std::string& text);
// The one-byte messages: sign-off, moved-and-ready and the like.
Bytes typeOnly(uint8_t type);

// The transport's framing of a message sent reliably, and the answer to one received.
Bytes reliable(const Bytes& message, uint8_t sequence, uint32_t senderPort);
Bytes acknowledgement(uint8_t sequence);

}  // namespace peer
