#pragma once
// Messages a status tool or an operator sends to a server it is not a client of. Connection
// requests come from the peer library that the simulated drivers use too.

#include <cstdint>
#include <string>
#include <vector>

#include "PeerMessages.h"

// Status query with the asker's four-byte token.
std::vector<uint8_t> statusQuery(uint32_t token);
// Remote console command, its text NUL-terminated.
std::vector<uint8_t> adminCommand(const std::string& password, const std::string& command);
