#pragma once
// Offsets of the messages admitted clients exchange with the server while they drive: car
// states, laps and the lists that rank them. Sizes are those of msgsize.

#include <cstddef>

#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"

// RV_CARUPDATE: one car's state. The same record, with the owner's id filled in, is what the
// combined car-state packet carries for every other car.
namespace car_update {
constexpr size_t kSize = msgsize::kCarUpdate;
constexpr size_t kOwner = 1;     // u8, zero from the driver, the car's id when relayed
constexpr size_t kSequence = 2;  // u32
constexpr size_t kState = 6, kStateSize = 16;
constexpr size_t kFlags = 22;  // u8
constexpr uint8_t kRetiredBit = 2;
}  // namespace car_update

// RV_MEGAPACKET: a count, then one car-update record for each other car.
namespace car_states {
constexpr size_t kCount = 1;
constexpr size_t kRecords = msgsize::kMegapacketHeader;
constexpr size_t kRecordSize = car_update::kSize;
// A receiver takes at most this many bytes in one packet.
constexpr size_t kLimit = 1000;
constexpr size_t kMaxRecords = (kLimit - kRecords) / kRecordSize;

constexpr size_t sizeFor(size_t records) {
    return kRecords + kRecordSize * records;
}
}  // namespace car_states

// RV_LAPCOMPLETED, from the driver.
namespace lap_completed {
constexpr size_t kLap = 1;         // u32, the client's own lap number
constexpr size_t kLapTime = 5;     // i32, ms
constexpr size_t kSplitTime = 9;   // i32, ms
constexpr size_t kTotalTime = 13;  // i32, ms
}  // namespace lap_completed

// RV_LAPINFO: a driver's last lap as shown to the others.
namespace lap_info {
constexpr size_t kSize = msgsize::kLapInfo;
constexpr size_t kOwner = 1;      // u8
constexpr size_t kTotalTime = 2;  // i32, the join time until a first lap
constexpr size_t kLapTime = 6;    // i32
constexpr size_t kBestLap = 10;   // u32
}  // namespace lap_info

// RV_SPLIT: a split time in, the difference to the best lap out with the sender's id.
namespace split_time {
constexpr size_t kSize = msgsize::kSplit;
constexpr size_t kTime = 1;   // u32
constexpr size_t kOwner = 5;  // u8, on the way out
}  // namespace split_time

// The three ranked lists (RV_STANDINGS, RV_TIMESHEET, RV_QUALIFYLIST) share their head: a
// count, fifteen ids, then fifteen 32-bit values (gap, best lap or qualifying lap).
namespace ranked_list {
constexpr size_t kEntries = 15;
constexpr size_t kCount = 1;
constexpr size_t kIds = 2;
constexpr size_t kValues = kIds + kEntries;  // 4 bytes an entry

// Entry `i` (below kEntries) of a list: its id and its value.
inline void writeEntry(ByteWriter& w, size_t i, uint8_t id, uint32_t value) {
    w.seek(kIds + i);
    w.u8(id);
    w.seek(kValues + 4 * i);
    w.u32(value);
}
}  // namespace ranked_list

namespace standings {
constexpr size_t kSize = msgsize::kStandings;
constexpr size_t kLeaderLap =
    ranked_list::kValues + 4 * ranked_list::kEntries;  // u8, the lap being run
}  // namespace standings

namespace timesheet {
constexpr size_t kSize = msgsize::kTimesheet;
constexpr size_t kLaps = ranked_list::kValues + 4 * ranked_list::kEntries;  // u8 an entry
constexpr size_t kMinutesLeft = kLaps + ranked_list::kEntries;              // u8
constexpr size_t kMaxValidLaps = kMinutesLeft + 1;                          // u8
constexpr size_t kBestLap = kMaxValidLaps + 1;  // i32, the session's best
constexpr size_t kBestLapSplit = kBestLap + 4;  // i32
}  // namespace timesheet

namespace qualify_list {
constexpr size_t kSize = msgsize::kQualifyList;
}  // namespace qualify_list

// RV_DRIVERINFOS: a driver's career, kept as it came and passed on on request.
namespace driver_infos {
constexpr size_t kSize = msgsize::kDriverInfos;
constexpr size_t kRaces = 1, kWins = 5, kPodiums = 9, kKm = 13;  // i32 each
constexpr size_t kDnf = 17, kOnlineKm = 21, kContacts = 25;
}  // namespace driver_infos

// RV_CLIENTINFO: one client's record as the others see it. Texts are fixed fields; the career
// figures follow the tyres and nationality, the client's address ends the message.
namespace client_info {
constexpr size_t kSize = msgsize::kClientInfo;
constexpr size_t kUserNameWidth = 21, kNameWidth = 16;  // extra name, model, team
constexpr size_t kTextWidth = 32;                       // tyres, nationality
constexpr size_t kAddress = 267;
}  // namespace client_info

// RV_FLAG: a flag raised (type 1) or cleared (type 0) in a sector.
namespace flag_message {
constexpr size_t kSize = 4;
constexpr size_t kSector = 1, kNumber = 2, kType = 3;
constexpr uint8_t kNoFlag = 255;  // in the number field of a cleared sector
}  // namespace flag_message

// RV_CONTACT: a touch with another car (or, with the sender's own id, the wall).
namespace contact_report {
constexpr size_t kOther = 1;   // u8
constexpr size_t kValues = 2;  // three f32, logged as they came
}  // namespace contact_report

// RV_CHECKSUMS: what the simulator computed over its program, car, track and tyres.
namespace checksum_report {
constexpr size_t kExecutable = 1, kCar = 5, kTrack = 9, kTyres = 13;  // i32 each
}  // namespace checksum_report

// RV_BALLAST: the weight, in kilograms, a car carries from now on.
struct BallastMessage {
    uint8_t bytes[msgsize::kBallast];
    explicit BallastMessage(float kg) {
        ByteWriter w(bytes, sizeof bytes);
        w.u8(RV_BALLAST);
        w.f32(kg);
    }
};

static_assert(standings::kLeaderLap + 1 == standings::kSize);
static_assert(timesheet::kBestLapSplit + 4 == timesheet::kSize);
static_assert(ranked_list::kValues + 4 * ranked_list::kEntries == qualify_list::kSize);
static_assert(car_update::kFlags + 1 == car_update::kSize);
