#pragma once
// Offsets and sizes of the messages exchanged with senders that are not (yet) clients:
// connection requests, status queries and the replies to them.

#include <cstddef>

#include "protocol/MessageTypes.h"

namespace connect_request {
constexpr size_t kSize = msgsize::kConnectRequest;
constexpr size_t kGuid = 1, kGuidWidth = 64;
constexpr size_t kUserName = 65, kUserNameWidth = 21;
constexpr size_t kTeam = 86, kTeamWidth = 21;
constexpr size_t kExtraName = 107, kExtraNameWidth = 16;
constexpr size_t kModel = 123, kModelWidth = 16;
constexpr size_t kRaceNumber = 139;  // u16
constexpr size_t kVersion = 141;     // i32
constexpr size_t kBandwidth = 145;   // u8
constexpr size_t kPassword = 146, kPasswordWidth = 24;
constexpr size_t kConnectValue1 = 170;  // f32
constexpr size_t kConnectValue2 = 174;  // f32
constexpr size_t kFrontTyre = 178, kTyreWidth = 32;
constexpr size_t kRearTyre = 210;
constexpr size_t kTyreChecksum = 242;  // i32
constexpr size_t kNationality = 246, kNationalityWidth = 32;
constexpr size_t kAccidentRatio = 278;  // f32
constexpr size_t kOnlineKm = 282;       // i32
constexpr size_t kDnfRatio = 290;       // f32, a fraction
}  // namespace connect_request

namespace status_reply {
constexpr size_t kSize = msgsize::kStatus;
constexpr size_t kTextWidth = 20;  // name, track, configuration, car, status description
constexpr size_t kName = 1, kTrack = 21, kConfiguration = 41, kCar = 61;
constexpr size_t kSessionType = 81;
constexpr size_t kStatusDesc = 82;
constexpr size_t kToken = 102;  // bytes 1 to 4 of the query, echoed
constexpr size_t kMaxClients = 106;
}  // namespace status_reply

namespace admin_command {
constexpr size_t kPassword = 1, kPasswordWidth = 16;
constexpr size_t kCommand = 17;
}  // namespace admin_command

// The answer to an admitted request, sent reliably; the client learns its record's id from it.
namespace acceptance {
constexpr size_t kSize = msgsize::kAccepted;
constexpr size_t kName = 1, kNameWidth = 32;
constexpr size_t kPort = 37;         // u32, after four zero bytes
constexpr size_t kId = 41;           // u8
constexpr size_t kRaceNumber = 42;   // u16
constexpr size_t kSlot = 44;         // u8
constexpr size_t kRaceRunning = 45;  // u8
}  // namespace acceptance

namespace refusal {
constexpr size_t kSize = msgsize::kRefused;
constexpr size_t kText = 1, kTextWidth = kSize - 1;
}  // namespace refusal
