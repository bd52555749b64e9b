#pragma once
// An IPv4 socket address held the way the server stores and compares it: 16 bytes, family
// (host order), port (network order), address (network order), then eight zero bytes. The
// 16 bytes travel as they are inside RV_CLIENTINFO.

#include <cstdint>
#include <cstring>
#include <string>

struct SocketAddress {
    static constexpr uint16_t kFamilyInet = 2;

    uint8_t raw[16] = {};

    static SocketAddress fromHost(uint32_t hostOrderIp, uint16_t hostOrderPort) {
        SocketAddress a;
        a.raw[0] = uint8_t(kFamilyInet & 0xff);
        a.raw[1] = uint8_t(kFamilyInet >> 8);
        a.raw[2] = uint8_t(hostOrderPort >> 8);
        a.raw[3] = uint8_t(hostOrderPort);
        a.raw[4] = uint8_t(hostOrderIp >> 24);
        a.raw[5] = uint8_t(hostOrderIp >> 16);
        a.raw[6] = uint8_t(hostOrderIp >> 8);
        a.raw[7] = uint8_t(hostOrderIp);
        return a;
    }

    uint16_t port() const { return uint16_t((raw[2] << 8) | raw[3]); }
    uint32_t ip() const {
        return (uint32_t(raw[4]) << 24) | (uint32_t(raw[5]) << 16) | (uint32_t(raw[6]) << 8) |
               uint32_t(raw[7]);
    }
    void setPort(uint16_t hostOrderPort) {
        raw[2] = uint8_t(hostOrderPort >> 8);
        raw[3] = uint8_t(hostOrderPort);
    }
    bool sameIpAndPort(const SocketAddress& o) const {
        return std::memcmp(raw + 2, o.raw + 2, 6) == 0;
    }
    bool operator==(const SocketAddress& o) const { return std::memcmp(raw, o.raw, 16) == 0; }
    void clear() { std::memset(raw, 0, sizeof raw); }

    std::string dotted() const {
        return std::to_string(raw[4]) + "." + std::to_string(raw[5]) + "." +
               std::to_string(raw[6]) + "." + std::to_string(raw[7]);
    }
};
