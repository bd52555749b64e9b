#pragma once
// The event's side of the fleet host's sidecar (its local REST server): the event's GameServer
// (its state and the port clients reach), "ready" once the port is settled, a health beat while
// the main loop turns, labels with the number of clients and the session's name, and the request
// to be shut down once the sequence is over. One helper thread does the requests and another
// follows the watch stream, so a sidecar that is slow, absent or answering junk never holds up a
// turn; the main loop only hands over what changed and reads what the sidecar last said.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the sidecar is told about, as of one turn.
struct FleetState {
    int clients = 0;
    std::string session;
    bool finished = false;  // the sequence is over and the event is to be shut down
    bool draining = false;  // the event is closing: the fleet must not hand it out again
};

// The event's GameServer as the sidecar last described it.
struct FleetGameServer {
    std::string state;            // "Scheduled", "Ready", "Allocated", …
    std::vector<uint16_t> ports;  // where clients reach the event, one per declared port
    std::string event;            // the event's name, given by the allocation's annotation
    bool operator==(const FleetGameServer&) const = default;
};

// One GameServer document, alone or as a watch line ({"result": …}); false for anything else.
bool parseFleetGameServer(const std::string& json, FleetGameServer& out);

// What the pod's manifest declares for the event's port (RVSERVER_CONTAINER_PORT).
struct FleetPortDeclaration {
    bool passthrough = false;    // the host port is given at scheduling: bind that one
    uint16_t containerPort = 0;  // the port the host forwards to; 0 when not declared
};

class FleetSdk {
  public:
    // The fleet manifests give the sidecar a health period of at least two beats.
    static constexpr int64_t kHealthIntervalMs = 2000;
    // A request the sidecar did not answer is tried again after a wait that doubles up to this.
    static constexpr int kFirstRetryMs = 100;
    static constexpr int kLongestRetryMs = 2000;
    static constexpr int kRequestTimeoutMs = 5000;
    // Failures print one console line per this long, with the count of those left unprinted.
    static constexpr uint32_t kReportEveryMs = 30000;
    // /ready, labels and /shutdown are given up when the sidecar has not taken them in this long.
    static constexpr int kGiveUpAfterMs = 120000;
    // A watch or GameServer answer longer than this is junk, not a GameServer.
    static constexpr size_t kLongestDocument = 1 << 20;
    static constexpr char kPortVariable[] = "AGONES_SDK_HTTP_PORT";
    static constexpr char kContainerPortVariable[] = "RVSERVER_CONTAINER_PORT";
    // The annotation an allocation may set with the event's name.
    static constexpr char kEventAnnotation[] = "rvserver/event";
    // The waits above, as one client uses them; tests shorten them.
    struct Timing {
        int64_t healthIntervalMs = kHealthIntervalMs;
        int firstRetryMs = kFirstRetryMs;
        int longestRetryMs = kLongestRetryMs;
        int requestTimeoutMs = kRequestTimeoutMs;
        int giveUpAfterMs = kGiveUpAfterMs;
    };

    // Null when the variable is not set, and with one console line when it is not a port.
    // The container port declaration comes along (one console line when it is no port either).
    static std::unique_ptr<FleetSdk> fromEnvironment();
    FleetPortDeclaration declared;
    explicit FleetSdk(uint16_t port);
    FleetSdk(uint16_t port, const Timing& timing);
    // Stops the thread; a request still on its way is abandoned (within about a second).
    ~FleetSdk();
    FleetSdk(const FleetSdk&) = delete;
    FleetSdk& operator=(const FleetSdk&) = delete;

    void ready();
    // The GameServer as last read or watched; false while the sidecar has described none.
    bool gameServer(FleetGameServer& out) const;
    // One main-loop turn at server time `now`: a health beat when due, labels that changed,
    // and the shut-down request the first time `state.finished` is set.
    void turn(int64_t now, const FleetState& state);
    // The server time of the next health beat, for the loop's rest.
    int64_t nextHealthAt() const { return lastHealth_ + timing_.healthIntervalMs; }

  private:
    struct Request {
        std::string method;
        std::string path;
        std::string body;
        std::string label;  // a label update's key and value
        std::string value;
        std::string* answer = nullptr;  // where the answer's body goes, if wanted
    };
    bool takeRequest(Request& request);
    void done(const Request& request);
    void run();
    // 0 when the sidecar could not be reached or gave no answer in time.
    long send(void* curl, const Request& request, long timeoutMs);
    void report(const std::string& what);
    bool tookGameServer(const std::string& answer);
    void watch();

    const uint16_t port_;
    const Timing timing_;

    // Main loop only.
    int64_t lastHealth_;
    int lastClients_ = -1;
    std::string lastSession_;
    bool sessionSent_ = false;
    bool shutdownQueued_ = false;
    bool drainingSent_ = false;

    // Shared with the helper thread: what is still to be said, newest values only.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool gameServerWanted_ = true;
    bool gameServerKnown_ = false;
    bool gameServerTried_ = false;
    FleetGameServer gameServer_;
    bool ready_ = false;
    bool health_ = false;
    bool shutdown_ = false;
    std::map<std::string, std::string> labels_;
    std::atomic<bool> stopping_{false};

    // Helper threads only (one connection each); the failure lines are shared.
    void* curl_ = nullptr;
    void* watchCurl_ = nullptr;
    std::mutex reportMutex_;
    uint32_t lastReport_ = 0;
    bool reported_ = false;
    int unreported_ = 0;

    std::thread thread_;
    std::thread watcher_;
};

// A label value the sidecar accepts: at most 63 letters, digits, '-', '_' or '.', beginning
// and ending with a letter or digit; any other character becomes '_'.
std::string fleetLabelValue(const std::string& text);

// Why the event cannot take its port from `server`, or empty; `port` is then where clients reach
// it (under Passthrough also the port to bind). `bound` is the port the server holds now.
std::string fleetPortProblem(const FleetGameServer& server, const FleetPortDeclaration& declared,
                             uint16_t bound, uint16_t& port);
