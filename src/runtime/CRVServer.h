#pragma once
// The one server object: transport, client list, configuration, sessions, start points, event
// log, statistics and content checksums. Its operations are spread over the subsystem folders
// (admission/, client/, race/, ...); this header is the one place they are declared.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "admission/AnswerLimits.h"
#include "admission/BanList.h"
#include "admission/CRVClientConnection.h"
#include "admission/StartPoint.h"
#include "client/TrackFlags.h"
#include "content/ContentChecksums.h"
#include "platform/ZSystem.h"
#include "race/Countdown.h"
#include "race/RaceState.h"
#include "race/SessionRecord.h"
#include "race/Vote.h"
#include "records/CRVServerLogger.h"
#include "records/CRVServerRecorder.h"
#include "records/WholeFiles.h"
#include "records/WriteFaults.h"
#include "runtime/Draining.h"
#include "runtime/ServerConfig.h"
#include "runtime/ServiceStatus.h"
#include "transport/CClientMessageRouter.h"
#include "transport/RoutedPeer.h"

class FleetSdk;
struct FleetGameServer;
class MessageFeed;
struct ConnectRequest;
class ServerClock;
class ServerStatistics;

// Where the server gets its time and its files from. Production passes the system clock, the
// working directory ("") and the user's documents folder; tests pass a manual clock and a temp
// folder.
struct ServerEnvironment {
    ServerClock* clock = nullptr;
    std::string root;             // "" or a folder path ending in "/"
    std::string documentsFolder;  // "": the configuration is read from root only
    // Local wall-clock time as strftime formats it; the event log and results files are named
    // by it.
    std::function<std::string(const char* format)> localTime;
    // Set: the server runs offline on these messages (no socket, nothing sent, nothing
    // recorded), as when a recorded event is replayed.
    MessageFeed* feed = nullptr;
    // "" or a folder path ending in "/": where the event log, the results files and the
    // statistics go instead of their places under root.
    std::string outputFolder;
    // Every file the server writes goes through it; null: the system's own.
    platform::Files* files = nullptr;
};

class CRVServer : public RouterHost {
  public:
    static constexpr int kSlots = 32;
    static constexpr int kGridPlaces = 24;
    // Output streams and open files are flushed once more than this has passed.
    static constexpr int64_t kFlushEveryMs = 1000;

    CRVServer();  // production environment
    explicit CRVServer(const ServerEnvironment& env);
    ~CRVServer() override;
    CRVServer(const CRVServer&) = delete;
    CRVServer& operator=(const CRVServer&) = delete;

    // --- lifecycle (runtime/) ---
    void loadConfiguration();
    void initialize();
    void update();
    void shutdown();
    // Closes the event: nobody new is admitted and the loop ends once the race is over or
    // nobody is left. False when it already was closing or is shutting down.
    bool startDraining();
    // Whether a closing event is done and the main loop should end.
    bool drained() const { return draining.over; }
    // A path relative to the working folder, placed under the server's root.
    std::string path(const std::string& relative) const;
    // Where a file the event writes goes: path(relative), or its name in the output folder.
    std::string outputPath(const std::string& relative) const;
    std::string localTimeText(const char* format) const { return localTime(format); }
    void flushOutput();
    // Renames a file of the last run that a new one would replace, and says where it went.
    void keepEarlier(const std::string& file, const char* what);
    // The server object sends nothing reliably of its own; a resend asked of it is allowed.
    bool onReliableResend(const PendingReliable& record) override;

    // --- messages from senders that are not clients (admission/) ---
    void onMessage(uint8_t* data, int size, const SocketAddress* sender) override;
    void admitClient(const uint8_t* request, int size, const SocketAddress* sender);
    int nextFreeRaceNumber(int n) const;
    int getFreeGridPlace() const;
    // Puts an admitted client record into the lists with the next id, the first free slot and
    // the time it was last heard of set to now; the server owns it from here.
    void enlistClient(CRVClientConnection* client);
    void saveUserProfile(const std::string& guid);
    bool loadStartPoints(const std::string& path);
    void loadOldStartPoints(const std::string& path);
    void runCommand(char* text);

    // --- kick and ban (admission/) ---
    void openBanList();
    void readBanFile(const char* why);
    void saveBanList();
    // Once a second: the file read again when it changed on disk, bans whose time is up marked.
    void stepBanList();
    // True when a ban turns the request away; the refusal is sent, counted and logged.
    bool refuseBanned(const ConnectRequest& request, const SocketAddress* sender);
    // A kick or ban command from an admin (null: the remote console); false when the text is
    // none of them.
    bool runBanCommand(const std::string& text, CRVClientConnection* admin);
    // A non-admin's "kick ID" asks for a vote; false when the text is not a kick.
    bool voteKick(CRVClientConnection* voter, const std::string& text);
    // Announced to everyone, logged, and removed the one way clients leave.
    void kickClient(CRVClientConnection* client, const std::string& admin,
                    const std::string& reason);
    void printBans();
    // Replies to a requester that is not a client: straight through the socket, sent once.
    void sendRefusalText(const std::string& text, const SocketAddress* sender);
    void sendRefused(const std::string& text, const SocketAddress* sender);
    // Unknown senders have no client record: answers go straight through the socket, unqueued.
    void replyTo(const SocketAddress* sender, const uint8_t* data, int size);
    // Whether a password attempt from `sender` is looked at at all, and the bookkeeping of a
    // wrong one (with the event-log line when it starts a lock-out).
    bool passwordAttemptAllowed(const SocketAddress* sender);
    void wrongPassword(const SocketAddress* sender);

    // --- announcements and information for clients (client/) ---
    // The turn's combined car-state packets: every client whose packet is due gets one.
    void offerCarStates();
    void sendServerChat(const std::string& text, CRVClientConnection* target);
    void sendStarBasicInfos(CRVClientConnection* client);
    void sendSessionInfo(CRVClientConnection* client);  // null: every client
    void sendClientList(CRVClientConnection* requester, int wantedId, bool all);
    CRVClientConnection* findClient(int id) const;
    void updateBestLap(int32_t lapTime, int32_t splitTime, CRVClientConnection* client);
    void sendQualifyList(int id);
    void processFlag(const uint8_t* flag);

    // --- race control (race/) ---
    SessionRecord* current();
    void evolveSession();
    void endSessionChecks();
    void saveSession(int index);
    void checkRaceEnd();
    void updateStartSequence();
    void checkLostClients();
    // The one way a client leaves: slot freed, dropped from every list and from the outgoing
    // queue; the object itself is deleted at the start of the next turn.
    void removeClient(CRVClientConnection* client);
    void releaseRemovedClients();
    void checkSessionTime();
    void resetRace(bool skipSave);
    // `target` names the driver of a kick vote.
    void addVote(CRVClientConnection* client, int kind, CRVClientConnection* target = nullptr);
    void updateRank(int id, int unused);
    void updateRaceRank(int id);
    void updatePracticeRank(int id);
    void updateQualifyRank(int id);
    void sendTimesheet(const std::vector<CRVClientConnection*>& list, bool qualifying);
    void warnValidLaps(int id, const char* infraction);
    void loadVoteOptions();

    // --- the router's view of the server (runtime/, records/) ---
    size_t peerCount() const override { return clients.size(); }
    RoutedPeer* peer(size_t index) const override { return clients[index]; }
    // Every received message passes here before routing, into the replay recorder.
    void onReceived(const uint8_t* data, int size, const SocketAddress* source) override;

    // --- records (records/) ---
    void startReplayRecorder();
    // Routes a recorded message as live traffic; a client it admits is a replayed one.
    void playRecorded(RecordedMessage& m);
    void stepReplayPlayback();
    void closeReplayRecorder();

    // --- lobby (records/) ---
    void registerWithLobby();
    void unregisterFromLobby();

    // Environment.
    ServerClock* clock;
    std::string root;
    std::string documentsFolder;
    std::function<std::string(const char* format)> localTime;
    MessageFeed* feed;
    std::string outputFolder;
    platform::Files& files;

    // Transport.
    CClientMessageRouter router;

    // Clients, in admission order; owned here.
    std::vector<CRVClientConnection*> clients;
    std::vector<CRVClientConnection*> rankingList;
    std::vector<CRVClientConnection*> qualifyList;
    std::vector<CRVClientConnection*> removedClients;  // deleted at the start of the next turn
    bool slotTaken[kSlots] = {};
    uint8_t joinCounter = 1;

    // Configuration and sessions.
    ServerConfig config;
    std::vector<SessionRecord> sessions;
    int currentSession = -1;
    bool sequenceFinished = false;
    bool raceValid = false;
    Countdown countdown;
    StartPointLists startPoints;
    RaceState race;
    Vote vote;
    Bans bans;
    TrackFlags flags;
    AnswerLimits limits;

    ContentChecksums checksums;
    bool registeredWithLobby = false;

    // Time.
    uint32_t startTime = 0;
    int64_t serverTime = 0;
    uint32_t startTick = 0;
    int64_t lastFlush = 0;

    // What the disk refused, and the results and profiles it has still to take.
    WriteFaults writeFaults;
    WholeFiles wholeFiles;
    CRVServerLogger logger;
    std::unique_ptr<ServerStatistics> statistics;
    ZSystem system;

    // Records and outside services (records/).
    std::unique_ptr<CRVServerRecorder> recorder;
    // Set only when a fleet host's sidecar watches this event (AGONES_SDK_HTTP_PORT).
    std::unique_ptr<FleetSdk> fleet;
    // Under a fleet host the first session waits for the allocation (`holding`), and clients
    // reach the event on the port the host forwards (`fleetPort`, 0 until the sidecar said).
    bool holding = false;
    uint16_t fleetPort = 0;
    bool fleetPortRefused = false;
    bool lobbyWaitsForPort = false;
    // The port the acceptance and the lobby name: the one clients reach.
    int publicPort() const { return fleetPort != 0 ? fleetPort : config.port; }
    // Set only on a live server once its port is bound: the service manager's notifications.
    std::unique_ptr<ServiceStatus> service;
    Draining draining;

  private:
    void onAdminCommand(const uint8_t* data, int size, const SocketAddress* sender);
    bool admissionRequestAllowed(int size, const SocketAddress* sender);
    // Whether an answer to `sender` fits the answer budget; a dropped one is only counted.
    bool mayAnswer(const SocketAddress* sender);
    // Through the socket at once, the budget already taken.
    void sendStraight(const SocketAddress* sender, const uint8_t* data, int size);
    void answerStatus(const uint8_t* data, int size, const SocketAddress* sender);
    void createClient(const ConnectRequest& request, const SocketAddress* sender, bool admin,
                      float ballast, int gridPlace, bool raceRunning);
    int freeSlot() const;  // -1 when every slot is taken
    void printHostAddress();
    void printBandwidthEstimate();
    void tellFleet();
    void stepFleet();
    void settleFleetPort(const FleetGameServer& server);
    void watchDraining();

    std::unique_ptr<ServerClock> ownClock_;
    bool shutdownDone_ = false;
};
