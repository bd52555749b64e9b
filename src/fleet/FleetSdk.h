#pragma once
// The event's side of the fleet host's sidecar (the Agones SDK's local REST server): "ready" once
// the port is bound, a health beat while the main loop turns, labels with the number of clients
// and the session's name, and the request to be shut down once the sequence is over. One helper
// thread does all the talking, so a sidecar that is slow, absent or answering junk never holds
// up a turn; the main loop only hands it what changed.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// What the sidecar is told about, as of one turn.
struct FleetState {
    int clients = 0;
    std::string session;
    bool finished = false;  // the sequence is over and the event is to be shut down
    bool draining = false;  // the event is closing: the fleet must not hand it out again
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
    static constexpr char kPortVariable[] = "AGONES_SDK_HTTP_PORT";
    // The waits above, as one client uses them; tests shorten them.
    struct Timing {
        int64_t healthIntervalMs = kHealthIntervalMs;
        int firstRetryMs = kFirstRetryMs;
        int longestRetryMs = kLongestRetryMs;
        int requestTimeoutMs = kRequestTimeoutMs;
    };

    // Null when the variable is not set, and with one console line when it is not a port.
    static std::unique_ptr<FleetSdk> fromEnvironment();
    explicit FleetSdk(uint16_t port);
    FleetSdk(uint16_t port, const Timing& timing);
    // Stops the thread; a request still on its way is abandoned (within about a second).
    ~FleetSdk();
    FleetSdk(const FleetSdk&) = delete;
    FleetSdk& operator=(const FleetSdk&) = delete;

    void ready();
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
    };
    bool takeRequest(Request& request);
    void done(const Request& request);
    void run();
    // 0 when the sidecar could not be reached or gave no answer in time.
    long send(const Request& request);
    void report(const Request& request, const std::string& what);

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
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ready_ = false;
    bool health_ = false;
    bool shutdown_ = false;
    std::map<std::string, std::string> labels_;
    std::atomic<bool> stopping_{false};

    // Helper thread only.
    void* curl_ = nullptr;
    uint32_t lastReport_ = 0;
    bool reported_ = false;
    int unreported_ = 0;

    std::thread thread_;
};

// A label value the sidecar accepts: at most 63 letters, digits, '-', '_' or '.', beginning
// and ending with a letter or digit; any other character becomes '_'.
std::string fleetLabelValue(const std::string& text);
