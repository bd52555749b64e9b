#pragma once
// The times a timing page shows, and the log's own stamps read back.

#include <cstdint>
#include <string>

namespace live {

// "%d:%02d:%03d" (a leading "-" once the server clock has wrapped) back to milliseconds.
int64_t stampMs(const std::string& text);
// A lap as "1:29.500"; "" for none (0 or less).
std::string lapText(int64_t ms);
// A gap as "+0.500", or "+1:02.345" from a minute on; negative gaps show as "+0.000".
std::string gapText(int64_t ms);
// A lap deficit as "+1 L".
std::string lapsBehindText(int laps);

}  // namespace live
