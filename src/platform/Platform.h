#pragma once
// The thin layer over the operating system: UDP sockets, clocks, sleeping, signals, the
// documents folder, alerts and crash dumps. Nothing outside this folder talks to the OS.

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SocketAddress.h"

namespace platform {

// --- UDP ---
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;

SocketHandle udpOpen();
bool udpBind(SocketHandle s, uint16_t port);
// Binds to one local IPv4 address (host order) only; tools that must not listen elsewhere.
bool udpBindTo(SocketHandle s, uint32_t hostOrderIp, uint16_t port);
bool udpSetNonBlocking(SocketHandle s);
// The largest datagram the socket takes; the server reports it at start-up.
int udpMaxMessageSize(SocketHandle s);
bool udpSetSendBuffer(SocketHandle s, int size);
bool udpSetRecvBuffer(SocketHandle s, int size);
int udpGetSendBuffer(SocketHandle s);
int udpGetRecvBuffer(SocketHandle s);
// Returns the bytes sent, or -1; on failure `error` receives the error code in the numbering
// the console lines use (10055 no buffers, 10039 no destination, 10035 would block).
int udpSendTo(SocketHandle s, const uint8_t* data, int size, const SocketAddress& to, int& error);
// True when at least one datagram (possibly empty) waits.
bool udpPending(SocketHandle s);
// Waits for a datagram until the millisecond clock (monotonicMs) has moved on by `timeoutMs`.
// The main loop rests here between turns; a signal (the close event) ends the wait early.
bool udpWaitReadable(SocketHandle s, int timeoutMs);
// How a rest ended.
enum class RestEnd { kTimeUp, kReadable, kInterrupted };
// Rests like udpWaitReadable; with `watch` false no datagram ends it, only the time or a signal.
RestEnd udpRest(SocketHandle s, int timeoutMs, bool watch);
// Waits up to `timeoutMs` until any of `handles` has a datagram; `ready[i]` tells which.
// Returns false on timeout. For tools that hold many sockets.
bool udpWaitAny(const std::vector<SocketHandle>& handles, int timeoutMs,
                std::vector<uint8_t>& ready);
// Receives one datagram of at most `capacity` bytes. Returns its length, 0 for an empty one,
// or -1 on error; a datagram longer than `capacity` is consumed and reported as -1.
int udpRecvFrom(SocketHandle s, uint8_t* buffer, int capacity, SocketAddress& from);
// One datagram of a batch. Received: `data` is the caller's slot, `size` its length, 0 for an
// empty one or -1 for one longer than the slot (consumed all the same). Sent: `data` and `size`
// are the bytes, `address` the destination.
struct Datagram {
    uint8_t* data = nullptr;
    int size = 0;
    SocketAddress address;
    // When the kernel took it in (ns), from sockets opened by udpOpenSteered; 0 otherwise.
    uint64_t arrivalNs = 0;
};
// The most datagrams one batch call moves.
constexpr int kBatchLimit = 64;
// Receives up to `count` waiting datagrams (at most kBatchLimit) into `slots`, each slot holding
// `capacity` bytes, in one call and without waiting. Returns how many; 0 when none waits.
int udpRecvBatch(SocketHandle s, Datagram* slots, int count, int capacity);
// Sends up to `count` datagrams (at most kBatchLimit) in order in one call. Returns how many the
// kernel took; when it took none, `error` is the code (numbered as udpSendTo's) for the first.
int udpSendBatch(SocketHandle s, const Datagram* items, int count, int& error);
// Which datagrams the kernel hands to the stream socket of a steered port: those whose first
// byte is `plainType`, and those whose first byte is one of `updateTypes` and that have a byte
// at `flagOffset` without any of `urgentFlags` set. Everything else goes to the prompt socket.
struct StreamRule {
    uint8_t plainType = 0;
    uint8_t updateTypes[2] = {};
    uint32_t flagOffset = 0;
    uint8_t urgentFlags = 0;
    bool takes(const uint8_t* data, int size) const {
        if (size < 1)
            return false;
        if (data[0] == plainType)
            return true;
        if (data[0] != updateTypes[0] && data[0] != updateTypes[1])
            return false;
        return size > int(flagOffset) && (data[flagOffset] & urgentFlags) == 0;
    }
};
// One UDP port read through two sockets, the kernel choosing one for each datagram as it
// arrives by `rule`, so that waiting on the prompt socket alone wakes for nothing that can
// wait. Both stamp what they receive (Datagram::arrivalNs) so that the two can be read back in
// arrival order. `port` 0 takes any free port. False, with nothing left open, when the port is
// taken or the kernel cannot steer; the caller then uses one socket.
bool udpOpenSteered(uint16_t port, const StreamRule& rule, SocketHandle& prompt,
                    SocketHandle& stream);
uint16_t udpLocalPort(SocketHandle s);
void udpClose(SocketHandle s);
// Parses dotted IPv4 text; 0xffffffff when it is not an address.
uint32_t parseDotted(const std::string& text);

// --- host ---
bool hostName(std::string& name, int& error);
bool hostAddresses(const std::string& name, std::vector<std::string>& dotted);

// --- time ---
// Milliseconds of a monotonic clock: both the server time and the start tick come from it.
uint32_t monotonicMs();
// Microseconds of the same clock, for measurements finer than a millisecond.
uint64_t monotonicMicros();
void sleepMs(int ms);
// Local wall-clock time formatted with strftime.
std::string localTimeText(const char* format);

// --- process ---
std::string documentsFolder();
// The value of an environment variable; false when it is not set.
bool environmentValue(const char* name, std::string& value);
// The full path of the running program (at most 1024 characters), or "" when it cannot be had.
std::string programPath();
// Console events: SIGTERM and SIGHUP close (quit flag), SIGINT is ignored, SIGQUIT is the chord
// that leaves the loop at once. Returns false when the handlers could not be installed.
bool installConsoleHandlers(volatile sig_atomic_t* quitFlag, volatile sig_atomic_t* chordFlag);
// SIGUSR1 (the service's reload) asks the event to close: it sets `drainFlag`, and like the
// close event ends the loop's rest early.
bool installDrainSignal(volatile sig_atomic_t* drainFlag);
// Fatal signals write a post-mortem report into "dumps" (signal, fault address, backtrace,
// build id, memory map), print the documents folder line, flush every output stream and then
// end the process by the signal, as without the hook.
void installCrashHook();
// An alert for the operator: one line on stderr; nothing waits, the server carries on.
void alert(const char* caption, const char* text);
// The report's name for a crash at `localSeconds` (seconds since 1970 on the local clock):
// "dumps/rvServer_v1.0.3-YYYYMMDD-HHMMSS-PID-TID.dmp". The first form is safe in a signal
// handler; it returns the length written.
size_t formatCrashDumpName(char* out, size_t capacity, int64_t localSeconds, long pid, long tid);
std::string crashDumpName(int64_t localSeconds, long pid, long tid);

}  // namespace platform
