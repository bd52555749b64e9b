#pragma once
// The service manager's notification socket (NOTIFY_SOCKET), through libsystemd's sd_notify:
// readiness, a status line, watchdog beats and the stop. Without the variable every call does
// nothing. A socket that cannot be reached or takes no more messages is said once on the
// console, and the server then runs as if the variable were unset: a notification must never
// hold up a turn (sd_notify waits while the manager's queue is full).

#include <cstdint>
#include <string>

namespace platform {

class ServiceNotify {
  public:
    // Reads NOTIFY_SOCKET and the watchdog interval the manager set for this process.
    ServiceNotify();
    ~ServiceNotify();
    ServiceNotify(const ServiceNotify&) = delete;
    ServiceNotify& operator=(const ServiceNotify&) = delete;

    bool active() const { return probe_ >= 0; }
    // The manager's watchdog interval in ms; 0 when it watches nothing.
    int64_t watchdogMs() const { return watchdogMs_; }
    // One notification ("READY=1", "STATUS=...", "WATCHDOG=1", "STOPPING=1"); false when it was
    // not delivered, and nothing is sent from then on.
    bool send(const std::string& state);

  private:
    void giveUp(const char* why);

    // Connected to the manager's socket only to see whether its queue has room.
    int probe_ = -1;
    std::string address_;
    int64_t watchdogMs_ = 0;
};

}  // namespace platform
