#pragma once
// A client not heard from for this long is lost; the clean-up removes one such client a turn.

#include <cstdint>

constexpr int64_t kSilenceLimitMs = 60000;
