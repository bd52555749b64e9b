#include "platform/ServiceNotify.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// A datagram socket connected to `address` ("/path" or "@abstract"), or -1.
int connectTo(const std::string& address) {
    sockaddr_un to{};
    to.sun_family = AF_UNIX;
    if (address.size() < 2 || address.size() >= sizeof to.sun_path ||
        (address[0] != '/' && address[0] != '@'))
        return -1;
    std::memcpy(to.sun_path, address.data(), address.size());
    if (address[0] == '@')
        to.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    const socklen_t length =
        socklen_t(offsetof(sockaddr_un, sun_path) + address.size() + (address[0] == '/' ? 1 : 0));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

ServiceNotify::ServiceNotify() {
    const char* address = std::getenv("NOTIFY_SOCKET");
    if (address == nullptr)
        return;
    address_ = address;
    probe_ = connectTo(address_);
    if (probe_ < 0) {
        giveUp("cannot be reached");
        return;
    }
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        watchdogMs_ = int64_t(usec / 1000);
}

ServiceNotify::~ServiceNotify() {
    if (probe_ >= 0)
        ::close(probe_);
}

void ServiceNotify::giveUp(const char* why) {
    if (probe_ >= 0)
        ::close(probe_);
    probe_ = -1;
    std::printf("Service manager: NOTIFY_SOCKET=%s %s; running without notifications\n",
                address_.c_str(), why);
}

bool ServiceNotify::send(const std::string& state) {
    if (!active())
        return false;
    pollfd room{probe_, POLLOUT, 0};
    if (::poll(&room, 1, 0) != 1 || (room.revents & POLLOUT) == 0) {
        giveUp((room.revents & (POLLERR | POLLHUP)) != 0 ? "cannot be reached" : "is full");
        return false;
    }
    if (sd_notify(0, state.c_str()) <= 0) {
        giveUp("cannot be reached");
        return false;
    }
    return true;
}

}  // namespace platform
