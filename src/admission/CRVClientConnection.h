#pragma once
// One admitted client, driver or spectator, for as long as the server keeps it. Its onMessage
// is the dispatcher of everything the client sends; the handlers live in client/.

#include <cstdint>

#include "platform/SocketAddress.h"
#include "platform/ZSystem.h"
#include "protocol/RaceLayouts.h"
#include "transport/Budgets.h"
#include "transport/RoutedPeer.h"

class CRVServer;

class CRVClientConnection : public RoutedPeer {
  public:
    static constexpr int kCarStateSize = int(car_update::kStateSize);
    static constexpr int kDriverInfosSize = msgsize::kDriverInfos;
    static constexpr int kLapRecordSize = msgsize::kLapInfo;
    static constexpr uint16_t kInitialCarStateWord = 1000;  // 16-bit word at car-state byte 12

    CRVClientConnection();
    ~CRVClientConnection() override = default;
    CRVClientConnection(const CRVClientConnection&) = delete;
    CRVClientConnection& operator=(const CRVClientConnection&) = delete;

    // --- RoutedPeer ---
    void onMessage(uint8_t* data, int size, const SocketAddress* sender) override;
    bool onReliableResend(const PendingReliable& record) override;

    void setAddress(const SocketAddress* sender);
    // Back to the construction value: zeros with 1000 in the word at byte 12.
    void resetCarState();

    // --- car relay and update acceptance ---
    bool acceptCarUpdate(const uint8_t* update);
    // `records` holds the first `count` clients' records in list order; this client is the
    // one at `self`.
    void sendMegapacket(const uint8_t* records, size_t count, size_t self);
    // --- driver events ---
    void sendRaceEvent(uint8_t code);

    // Identity (from the connection request).
    char guid[64] = {};
    char userName[64] = "-";
    char team[64] = {};
    char extraName[64] = {};
    char model[32] = {};
    char nationality[32] = {};
    char frontTyre[32] = "av_ff_slick_front.rvt";
    char rearTyre[32] = "av_ff_slick_rear.rvt";
    float connectValue1 = 0;
    float connectValue2 = 0;
    bool isSpectator = false;
    bool isAdmin = false;
    int32_t raceNumber = -1;
    uint8_t id = 0;
    uint8_t slot = 0;
    int32_t gridPlace = -1;
    float entryBallast = 0;
    float bandwidth = 10000;
    CRVServer* server = nullptr;

    // Connection and liveness (the address and isReplayed come with RoutedPeer).
    int64_t lastSeenTime = 0;
    int32_t isActive = 0;
    bool hasLeft = false;
    uint32_t ping = 0;
    float ballast = 0;

    // Race state.
    int32_t laps = 0;
    int32_t lapsBehind = 0;
    uint32_t lastLapId = 0;
    uint32_t lastLapAux = 0;
    uint32_t bestLap = 0;
    uint32_t bestLapAux = 0;
    uint32_t qualifyBestLap = 0;
    bool qualifyDone = false;
    bool finished = false;
    bool jumpStart = false;
    bool retiredFlagSeen = false;
    uint8_t lapRecord[kLapRecordSize] = {RV_LAPINFO};

    // Relay state.
    uint8_t carState[kCarStateSize] = {};
    uint8_t carFlags = 0;
    uint32_t lastUpdateSeq = 0;
    uint32_t updateCount = 0;
    uint32_t throttleCount = 0;
    int32_t seqState = 0;
    uint8_t focusId = 0;
    int64_t lastSituationTime = 0;
    int64_t situationInterval = 60;
    char names[3][16] = {};
    uint8_t driverInfos[kDriverInfosSize] = {};

    ZSystem clock;

    // What this client may have the server copy to everyone: chat lines, raised flags, reminders
    // of a vote already cast and announcements it causes, and relayed data. Flag clearings and
    // votes never spend it. A real driver stays far below both.
    TokenBucket broadcastBudget{10, 20};
    TokenBucket relayBudget{120, 120};
    DropReport fanoutDrops{"messages to everyone dropped (rate limit) from "};
    // True when the budget allows one more copy to everyone; counts and reports a drop.
    bool mayFanOut(TokenBucket& budget);

  private:
    // Handlers by message type; each reads fixed offsets of a message that may be shorter than
    // its layout (missing bytes read as zero).
    void onCarUpdate(uint8_t* data, int size, const SocketAddress* sender);
    void onCarUpdateHV(uint8_t* data, int size, const SocketAddress* sender);
    void onChat(uint8_t* data, int size);
    void onAdminCommand(uint8_t* data, int size);
    void onAdminPassword(uint8_t* data, int size);
    void onSignOff();
    void onDisconnect();
    void onJumpStart();
    void onContact(uint8_t* data, int size);
    void onPitSpeedInfraction();
    void onChecksums(uint8_t* data, int size);
    void onClientList(uint8_t* data, int size);
    void onPing(uint8_t* data, int size);
    void onTimeRequest();
    void onActive();
    void onInactive();
    void onRelay(uint8_t* data, int size);
    void onNames(uint8_t* data, int size);
    void onDriverInfos(uint8_t* data, int size);
    void onDriverInfosRequest(uint8_t* data, int size);
    void onMovedAndReady();
    void onLapCompleted(uint8_t* data, int size);
    void onSplit(uint8_t* data, int size);
    void onFocus(uint8_t* data, int size);
    void onFlag(uint8_t* data, int size);
};
