#pragma once
// Message type numbers: byte 0 of every message. Types 0 and 1 are taken by the transport
// framing (reliable header and acknowledgement) and are never message types.

#include <cstdint>

enum MessageType : uint8_t {
    RV_CONNECT = 20,
    RV_CLIENTLIST = 24,
    RV_CLIENTINFO = 25,
    RV_CARUPDATE = 26,
    RV_CHAT = 27,
    RV_PING = 28,
    RV_ACCEPTED = 29,
    RV_SIGNOFF = 30,
    RV_TIME = 33,
    RV_GRIDPOINTS = 34,
    RV_STARTTIME = 35,
    RV_LAPCOMPLETED = 36,
    RV_STANDINGS = 37,
    RV_TIMESHEET = 39,
    RV_UPDATEOR = 40,
    RV_REGISTERED = 41,
    RV_ACTIVE = 49,
    RV_JUMPSTART = 50,
    RV_ADMINCOMMAND = 52,
    RV_INACTIVE = 54,
    RV_STANDINGSREQUEST = 56,
    RV_QUALIFYLISTREQUEST = 58,
    RV_QUALIFYLIST = 59,
    RV_TIMEREQUEST = 60,
    RV_DISCONNECT = 61,
    RV_RACEEVENT = 62,
    RV_BALLAST = 63,
    RV_CONTACT = 64,
    RV_AMBIENT = 65,
    RV_DRIVERINFOS = 66,
    RV_DRIVERINFOSREQUEST = 67,
    RV_CONNECTRVTV = 70,
    RV_RESET = 72,
    RV_READY = 74,
    RV_SERVERNAME = 75,
    RV_SERVEROPTIONS = 76,
    RV_SESSIONINFO = 79,
    RV_FOCUS = 80,
    RV_LAPINFO = 81,
    RV_SPLIT = 82,
    RV_RACESTARTPOINTS = 83,
    RV_FLAG = 84,
    RV_NAMES = 85,
    RV_PITSPEEDINFRACTION = 86,
    RV_CHECKSUMS = 87,
    RV_MOVEDANDREADY = 88,
    RV_STATUS = 89,
    RV_PONG = 90,
    RV_CARUPDATEHV = 101,
    RV_ADMINPASSWORD = 102,
    RV_RELAY = 104,
    RV_ECHO = 105,
    RV_REFUSED = 108,
    RV_LINKNOTICE = 109,
    RV_GETSTATUS = 110,
    RV_MEGAPACKET = 111,
};

// Sizes of the fixed-size messages, in bytes including the type byte.
namespace msgsize {
constexpr int kClientList = 2;
constexpr int kClientInfo = 283;
constexpr int kCarUpdate = 23;
constexpr int kPing = 7;
constexpr int kAccepted = 46;
constexpr int kTime = 5;
constexpr int kGridPoints = 73;
constexpr int kRaceStartPoints = 73;
constexpr int kStartTime = 5;
constexpr int kLapCompleted = 17;
constexpr int kStandings = 78;
constexpr int kTimesheet = 102;
constexpr int kQualifyList = 77;
constexpr int kDisconnect = 2;
constexpr int kRaceEvent = 6;
constexpr int kBallast = 5;
constexpr int kContact = 14;
constexpr int kAmbient = 13;
constexpr int kDriverInfos = 29;
constexpr int kServerName = 129;
constexpr int kServerOptions = 7;
constexpr int kSessionInfo = 72;
constexpr int kLapInfo = 14;
constexpr int kSplit = 6;
constexpr int kNames = 49;
constexpr int kChecksums = 17;
constexpr int kStatus = 115;
constexpr int kPong = 9;
constexpr int kCarUpdateHV = 39;
constexpr int kRefused = 65;
constexpr int kLinkNotice = 65;
constexpr int kConnectRequest = 294;
constexpr int kMegapacketHeader = 2;
constexpr int kNotAdminReply = 67;
}  // namespace msgsize
