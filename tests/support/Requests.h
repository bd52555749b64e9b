#pragma once
// Messages a simulator, a status tool or an operator sends to a server, and the chat lines it
// gets back. Connection requests come from the peer library that the simulated drivers use too.

#include <cstdint>
#include <string>
#include <vector>

#include "PeerMessages.h"

// Status query with the asker's four-byte token.
std::vector<uint8_t> statusQuery(uint32_t token);
// Remote console command, its text NUL-terminated.
std::vector<uint8_t> adminCommand(const std::string& password, const std::string& command);
// A lap report: lap number, lap time, split time and total race time.
std::vector<uint8_t> lapMessage(uint32_t number, int32_t lapTime, int32_t split, int32_t total);
// A chat line as it travels: type, sender id, length, text without terminator.
std::vector<uint8_t> chat(const std::string& text, uint8_t sender = 0);
