#include "common/OperatorMessages.h"

#include <cstdio>

#include "common/Cli.h"
#include "protocol/AdmissionLayouts.h"
#include "protocol/ByteReader.h"
#include "protocol/ByteWriter.h"
#include "protocol/MessageTypes.h"
#include "race/SessionRecord.h"

namespace tool {

std::vector<uint8_t> statusQuery(uint32_t token) {
    std::vector<uint8_t> m(5);
    ByteWriter w(m.data(), m.size());
    w.u8(RV_GETSTATUS);
    w.u32(token);
    return m;
}

std::vector<uint8_t> echoProbe() {
    return {RV_ECHO};
}

std::vector<uint8_t> adminCommand(const std::string& password, const std::string& command) {
    std::vector<uint8_t> m(admin_command::kCommand + command.size() + 1);
    ByteWriter w(m.data(), m.size());
    w.u8(RV_ADMINCOMMAND);
    // The server reads the field up to its first zero or its end, so a password of the full
    // width goes without a terminator.
    const size_t n = std::min(password.size(), admin_command::kPasswordWidth);
    w.bytes(password.data(), n);
    w.zeros(admin_command::kPasswordWidth - n);
    w.bytes(command.data(), command.size());
    w.u8(0);
    return m;
}

std::string checkStatus(const std::vector<uint8_t>& answer, uint32_t token) {
    if (answer.empty() || answer[0] != RV_STATUS)
        return "not a status reply";
    if (answer.size() != status_reply::kSize)
        return "status reply of " + std::to_string(answer.size()) + " bytes instead of " +
               std::to_string(status_reply::kSize);
    ByteReader r(answer.data(), int(answer.size()));
    r.seek(status_reply::kToken);
    if (r.u32() != token)
        return "status reply with a wrong token";
    return "";
}

ServerStatus readStatus(const std::vector<uint8_t>& answer) {
    using namespace status_reply;
    ByteReader r(answer.data(), int(answer.size()));
    ServerStatus s;
    r.seek(kName);
    s.name = r.text(kTextWidth);
    s.track = r.text(kTextWidth);
    s.configuration = r.text(kTextWidth);
    s.car = r.text(kTextWidth);
    s.sessionType = r.u8();
    s.statusText = r.text(kTextWidth);
    r.seek(kMaxClients);
    s.maxClients = r.u8();
    s.clients = r.u8();
    s.raceLaps = r.u16();
    s.access = r.u8();
    s.bandwidth = r.u16();
    s.rain = r.u8();
    s.damage = r.u8();
    return s;
}

std::string checkEcho(const std::vector<uint8_t>& answer) {
    if (answer.size() != 1 || answer[0] != RV_ECHO)
        return "not an echo reply";
    return "";
}

std::string sessionTypeName(int type) {
    const char* name = ::sessionTypeName(type, nullptr);
    return name != nullptr ? name : "type " + std::to_string(type);
}

std::string accessName(int access) {
    switch (access) {
        case 0:
            return "closed";
        case 1:
            return "open";
        case 2:
            return "password";
        default:
            return "state " + std::to_string(access);
    }
}

nlohmann::ordered_json toJson(const ServerStatus& s) {
    return {{"name", s.name},
            {"track", s.track},
            {"configuration", s.configuration},
            {"car", s.car},
            {"sessionType", s.sessionType},
            {"session", sessionTypeName(s.sessionType)},
            {"status", s.statusText},
            {"clients", s.clients},
            {"maxClients", s.maxClients},
            {"raceLaps", s.raceLaps},
            {"access", accessName(s.access)},
            {"bandwidth", s.bandwidth},
            {"rain", s.rain},
            {"damage", s.damage}};
}

std::string toText(const ServerStatus& s) {
    char block[1024];
    std::snprintf(block, sizeof block,
                  "name:          %s\n"
                  "track:         %s\n"
                  "configuration: %s\n"
                  "car:           %s\n"
                  "session:       %s, %s\n"
                  "clients:       %d/%d\n"
                  "race laps:     %d\n"
                  "access:        %s\n"
                  "bandwidth:     %d\n"
                  "rain:          %d\n"
                  "damage:        %d\n",
                  printable(s.name).c_str(), printable(s.track).c_str(),
                  printable(s.configuration).c_str(), printable(s.car).c_str(),
                  sessionTypeName(s.sessionType).c_str(), printable(s.statusText).c_str(),
                  s.clients, s.maxClients, s.raceLaps, accessName(s.access).c_str(), s.bandwidth,
                  s.rain, s.damage);
    return block;
}

}  // namespace tool
