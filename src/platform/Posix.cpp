#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Platform.h"

namespace platform {
namespace {

sockaddr_in toSockaddr(const SocketAddress& a) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    std::memcpy(&sin.sin_port, a.raw + 2, 2);
    std::memcpy(&sin.sin_addr.s_addr, a.raw + 4, 4);
    return sin;
}

SocketAddress fromSockaddr(const sockaddr_in& sin) {
    SocketAddress a;
    a.raw[0] = uint8_t(SocketAddress::kFamilyInet & 0xff);
    a.raw[1] = uint8_t(SocketAddress::kFamilyInet >> 8);
    std::memcpy(a.raw + 2, &sin.sin_port, 2);
    std::memcpy(a.raw + 4, &sin.sin_addr.s_addr, 4);
    return a;
}

// The largest UDP payload over IPv4.
constexpr int kMaxUdpPayload = 65507;

// A send failure in the numbering the console lines use.
int sendError(int code) {
    switch (code) {
        case ENOBUFS:
            return 10055;
        case EDESTADDRREQ:
            return 10039;
        case EAGAIN:
            return 10035;
        default:
            return code;
    }
}

}  // namespace

SocketHandle udpOpen() {
    return ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

bool udpBind(SocketHandle s, uint16_t port) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_ANY);
    sin.sin_port = htons(port);
    return ::bind(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0;
}

bool udpBindTo(SocketHandle s, uint32_t hostOrderIp, uint16_t port) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(hostOrderIp);
    sin.sin_port = htons(port);
    return ::bind(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0;
}

bool udpSetNonBlocking(SocketHandle s) {
    int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0)
        return false;
    return ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

int udpMaxMessageSize(SocketHandle) {
    return kMaxUdpPayload;
}

bool udpSetSendBuffer(SocketHandle s, int size) {
    return ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) == 0;
}
bool udpSetRecvBuffer(SocketHandle s, int size) {
    return ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) == 0;
}
int udpGetSendBuffer(SocketHandle s) {
    int v = 0;
    socklen_t n = sizeof v;
    ::getsockopt(s, SOL_SOCKET, SO_SNDBUF, &v, &n);
    return v;
}
int udpGetRecvBuffer(SocketHandle s) {
    int v = 0;
    socklen_t n = sizeof v;
    ::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &v, &n);
    return v;
}

int udpSendTo(SocketHandle s, const uint8_t* data, int size, const SocketAddress& to, int& error) {
    sockaddr_in sin = toSockaddr(to);
    ssize_t n = ::sendto(s, data, size > 0 ? size_t(size) : 0, MSG_NOSIGNAL,
                         reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    if (n < 0) {
        error = sendError(errno);
        return -1;
    }
    error = 0;
    return int(n);
}

bool udpPending(SocketHandle s) {
    return udpWaitReadable(s, 0);
}

bool udpWaitReadable(SocketHandle s, int timeoutMs) {
    return udpRest(s, timeoutMs, true) == RestEnd::kReadable;
}

RestEnd udpRest(SocketHandle s, int timeoutMs, bool watch) {
    pollfd p{};
    p.fd = s;
    p.events = POLLIN;
    const nfds_t count = watch ? 1 : 0;
    int n = 0;
    if (timeoutMs <= 0) {
        n = ::poll(&p, count, 0);
    } else {
        // Until the millisecond clock has moved on by timeoutMs, not timeoutMs from now: a wait
        // for an instant in whole milliseconds then ends on it, not up to a millisecond after.
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        long long ns = timeoutMs * 1000000LL - now.tv_nsec % 1000000;
        timespec wait{time_t(ns / 1000000000), long(ns % 1000000000)};
        n = ::ppoll(&p, count, &wait, nullptr);
    }
    if (n < 0)
        return errno == EINTR ? RestEnd::kInterrupted : RestEnd::kTimeUp;
    return n > 0 && (p.revents & POLLIN) ? RestEnd::kReadable : RestEnd::kTimeUp;
}

bool udpWaitAny(const std::vector<SocketHandle>& handles, int timeoutMs,
                std::vector<uint8_t>& ready) {
    std::vector<pollfd> fds(handles.size());
    for (size_t i = 0; i < handles.size(); ++i)
        fds[i] = pollfd{handles[i], POLLIN, 0};
    int n = ::poll(fds.data(), nfds_t(fds.size()), timeoutMs);
    ready.assign(handles.size(), 0);
    for (size_t i = 0; n > 0 && i < fds.size(); ++i)
        ready[i] = (fds[i].revents & POLLIN) != 0;
    return n > 0;
}

int udpRecvFrom(SocketHandle s, uint8_t* buffer, int capacity, SocketAddress& from) {
    sockaddr_in sin{};
    socklen_t len = sizeof sin;
    // MSG_TRUNC makes the call report the real length, so an oversized datagram is noticed
    // (and dropped) instead of being cut silently.
    ssize_t n = ::recvfrom(s, buffer, size_t(capacity), MSG_TRUNC | MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&sin), &len);
    if (n < 0)
        return -1;
    from = fromSockaddr(sin);
    if (n > capacity)
        return -1;
    return int(n);
}

int udpRecvBatch(SocketHandle s, Datagram* slots, int count, int capacity) {
    // Set up once per thread: a read then fills in only what the kernel may have changed.
    struct Headers {
        mmsghdr messages[kBatchLimit];
        iovec parts[kBatchLimit];
        sockaddr_in senders[kBatchLimit];
        alignas(cmsghdr) char stamps[kBatchLimit][CMSG_SPACE(sizeof(timespec))];
        Headers() {
            for (int i = 0; i < kBatchLimit; ++i) {
                messages[i] = mmsghdr{};
                messages[i].msg_hdr.msg_name = &senders[i];
                messages[i].msg_hdr.msg_iov = &parts[i];
                messages[i].msg_hdr.msg_iovlen = 1;
            }
        }
    };
    thread_local Headers h;
    mmsghdr* messages = h.messages;
    sockaddr_in* senders = h.senders;
    count = count < kBatchLimit ? count : kBatchLimit;
    if (count <= 0)
        return 0;
    for (int i = 0; i < count; ++i) {
        h.parts[i] = iovec{slots[i].data, size_t(capacity)};
        messages[i].msg_hdr.msg_namelen = sizeof senders[i];
        messages[i].msg_hdr.msg_control = h.stamps[i];
        messages[i].msg_hdr.msg_controllen = sizeof h.stamps[i];
    }
    const int n = ::recvmmsg(s, messages, unsigned(count), MSG_DONTWAIT, nullptr);
    for (int i = 0; i < n; ++i) {
        slots[i].address = fromSockaddr(senders[i]);
        // A datagram longer than the slot is dropped, never cut silently.
        const bool cut = (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        slots[i].size = cut ? -1 : int(messages[i].msg_len);
        slots[i].arrivalNs = 0;
        msghdr& m = messages[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec t{};
                std::memcpy(&t, CMSG_DATA(c), sizeof t);
                slots[i].arrivalNs = uint64_t(t.tv_sec) * 1000000000ull + uint64_t(t.tv_nsec);
            }
        }
    }
    return n > 0 ? n : 0;
}

int udpSendBatch(SocketHandle s, const Datagram* items, int count, int& error) {
    mmsghdr messages[kBatchLimit];
    iovec parts[kBatchLimit];
    sockaddr_in targets[kBatchLimit];
    count = count < kBatchLimit ? count : kBatchLimit;
    error = 0;
    if (count <= 0)
        return 0;
    for (int i = 0; i < count; ++i) {
        targets[i] = toSockaddr(items[i].address);
        parts[i] = iovec{items[i].data, size_t(items[i].size > 0 ? items[i].size : 0)};
        messages[i] = mmsghdr{};
        messages[i].msg_hdr.msg_name = &targets[i];
        messages[i].msg_hdr.msg_namelen = sizeof targets[i];
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    // The kernel stops at the first datagram it refuses and reports the error only when that
    // one is the first of the call: the caller then asks again from there.
    const int n = ::sendmmsg(s, messages, unsigned(count), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
        error = sendError(errno);
        return 0;
    }
    return n;
}

uint16_t udpLocalPort(SocketHandle s) {
    sockaddr_in sin{};
    socklen_t len = sizeof sin;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&sin), &len) != 0)
        return 0;
    return ntohs(sin.sin_port);
}

void udpClose(SocketHandle s) {
    if (s < 0)
        return;
    ::shutdown(s, SHUT_RDWR);
    ::close(s);
}

uint32_t parseDotted(const std::string& text) {
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1)
        return 0xffffffffu;
    return ntohl(a.s_addr);
}

bool hostName(std::string& name, int& error) {
    char buf[80] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) {
        error = errno;
        return false;
    }
    name = buf;
    return true;
}

bool hostAddresses(const std::string& name, std::vector<std::string>& dotted) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || res == nullptr)
        return false;
    for (addrinfo* p = res; p != nullptr; p = p->ai_next) {
        char text[INET_ADDRSTRLEN] = {};
        auto* sin = reinterpret_cast<sockaddr_in*>(p->ai_addr);
        ::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
        dotted.push_back(text);
    }
    ::freeaddrinfo(res);
    return !dotted.empty();
}

uint32_t monotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

uint64_t monotonicMicros() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

void sleepMs(int ms) {
    if (ms <= 0) {
        ::sched_yield();
        return;
    }
    timespec ts{ms / 1000, long(ms % 1000) * 1000000L};
    ::nanosleep(&ts, nullptr);
}

std::string localTimeText(const char* format) {
    time_t now = ::time(nullptr);
    tm local{};
    ::localtime_r(&now, &local);
    char buf[128] = {};
    ::strftime(buf, sizeof buf, format, &local);
    return buf;
}

std::string documentsFolder() {
    const char* xdg = ::getenv("XDG_DOCUMENTS_DIR");
    if (xdg != nullptr && xdg[0] != '\0')
        return xdg;
    const char* home = ::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/Documents";
}

bool environmentValue(const char* name, std::string& value) {
    const char* text = ::getenv(name);
    if (text == nullptr)
        return false;
    value = text;
    return true;
}

std::string programPath() {
    char path[1025] = {};
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

namespace {
volatile sig_atomic_t* g_quitFlag = nullptr;
volatile sig_atomic_t* g_chordFlag = nullptr;
volatile sig_atomic_t* g_drainFlag = nullptr;

void onCloseSignal(int) {
    if (g_quitFlag != nullptr)
        *g_quitFlag = 1;
}
void onChordSignal(int) {
    if (g_chordFlag != nullptr)
        *g_chordFlag = 1;
}
void onDrainSignal(int) {
    if (g_drainFlag != nullptr)
        *g_drainFlag = 1;
}
void onIgnoredSignal(int) {}

bool handle(int sig, void (*fn)(int)) {
    struct sigaction sa {};
    sa.sa_handler = fn;
    sigemptyset(&sa.sa_mask);
    return ::sigaction(sig, &sa, nullptr) == 0;
}

}  // namespace

bool installConsoleHandlers(volatile sig_atomic_t* quitFlag, volatile sig_atomic_t* chordFlag) {
    g_quitFlag = quitFlag;
    g_chordFlag = chordFlag;
    bool ok = handle(SIGTERM, onCloseSignal);
    ok = handle(SIGHUP, onCloseSignal) && ok;
    ok = handle(SIGINT, onIgnoredSignal) && ok;
    ok = handle(SIGQUIT, onChordSignal) && ok;
    return ok;
}

bool installDrainSignal(volatile sig_atomic_t* drainFlag) {
    g_drainFlag = drainFlag;
    return handle(SIGUSR1, onDrainSignal);
}

void alert(const char* caption, const char* text) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
}

}  // namespace platform
