// One UDP port, two sockets: a reuse-port group whose classic socket filter picks the socket
// for each datagram from its first bytes.
#include <linux/filter.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

#include "platform/Platform.h"

namespace platform {

namespace {

// Returns 1 (the stream socket, second in the group) for what `rule` takes, else 0. A load past
// the end of the datagram ends the filter with 0: an empty datagram is prompt.
bool attachRule(SocketHandle s, const StreamRule& rule) {
    enum : uint8_t { kStream = 8, kPrompt = 9 };
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, rule.plainType, kStream - 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, rule.updateTypes[0], 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, rule.updateTypes[1], 0, kPrompt - 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_LEN, 0),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, rule.flagOffset, 0, kPrompt - 6),
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, rule.flagOffset),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, rule.urgentFlags, kPrompt - 8, 0),
        BPF_STMT(BPF_RET | BPF_K, 1),  // kStream
        BPF_STMT(BPF_RET | BPF_K, 0),  // kPrompt
    };
    sock_fprog program{uint16_t(sizeof code / sizeof code[0]), code};
    return ::setsockopt(s, SOL_SOCKET, SO_ATTACH_REUSEPORT_CBPF, &program, sizeof program) == 0;
}

SocketHandle openMember(uint16_t port) {
    SocketHandle s = udpOpen();
    const int on = 1;
    if (s == kNoSocket || ::setsockopt(s, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 ||
        ::setsockopt(s, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0 || !udpBind(s, port)) {
        if (s != kNoSocket)
            udpClose(s);
        return kNoSocket;
    }
    return s;
}

}  // namespace

bool udpOpenSteered(uint16_t port, const StreamRule& rule, SocketHandle& prompt,
                    SocketHandle& stream) {
    prompt = stream = kNoSocket;
    // Sockets that ask for port reuse share the port with any other such socket of this user,
    // so a plain bind first makes sure nobody holds it: a second server on the same port is
    // refused as before instead of taking half the datagrams.
    if (port != 0) {
        SocketHandle probe = udpOpen();
        const bool free = probe != kNoSocket && udpBind(probe, port);
        if (probe != kNoSocket)
            udpClose(probe);
        if (!free)
            return false;
    }
    SocketHandle first = openMember(port);
    SocketHandle second = first == kNoSocket ? kNoSocket : openMember(udpLocalPort(first));
    if (second == kNoSocket || !attachRule(first, rule)) {
        if (first != kNoSocket)
            udpClose(first);
        if (second != kNoSocket)
            udpClose(second);
        return false;
    }
    prompt = first;
    stream = second;
    return true;
}

}  // namespace platform
