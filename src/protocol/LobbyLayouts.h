#pragma once
// The server's announcement to the lobby service.

#include <cstddef>
#include <cstdint>

namespace lobby_register {
constexpr size_t kSize = 37;
constexpr uint8_t kType = 41;
// Lobbies list servers of the one single-make series under a type of their own.
constexpr uint8_t kTypeSingleMake = 107;
constexpr const char* kSingleMakeCar = "Doruvez1600;";
constexpr size_t kName = 1, kNameWidth = 32;
constexpr size_t kStartTick = 33;  // u32
}  // namespace lobby_register
