#include "support/Requests.h"

#include "protocol/MessageTypes.h"
#include "support/TestClient.h"

std::vector<uint8_t> connectRequest(const ConnectFields& f) {
    std::vector<uint8_t> m(294, 0);
    m[0] = f.spectator ? RV_CONNECTRVTV : RV_CONNECT;
    putText(m, 1, f.guid);
    putText(m, 65, f.userName);
    putText(m, 86, f.team);
    putText(m, 107, f.extraName);
    putText(m, 123, f.model);
    m[139] = uint8_t(f.raceNumber);
    m[140] = uint8_t(f.raceNumber >> 8);
    putU32(m, 141, uint32_t(f.version));
    m[145] = f.bandwidth;
    putText(m, 146, f.password);
    putText(m, 178, f.frontTyre);
    putText(m, 210, f.rearTyre);
    putU32(m, 242, uint32_t(f.tyreChecksum));
    putText(m, 246, f.nationality);
    putF32(m, 278, f.accidentRatio);
    putU32(m, 282, uint32_t(f.onlineKm));
    putF32(m, 290, f.dnfRatio);
    return m;
}

std::vector<uint8_t> statusQuery(uint32_t token) {
    std::vector<uint8_t> m(5, 0);
    m[0] = RV_GETSTATUS;
    putU32(m, 1, token);
    return m;
}

std::vector<uint8_t> adminCommand(const std::string& password, const std::string& command) {
    std::vector<uint8_t> m(17, 0);
    m[0] = RV_ADMINCOMMAND;
    putText(m, 1, password);
    m.insert(m.end(), command.begin(), command.end());
    m.push_back(0);
    return m;
}

std::vector<uint8_t> lapMessage(uint32_t number, int32_t lapTime, int32_t split, int32_t total) {
    std::vector<uint8_t> m(msgsize::kLapCompleted, 0);
    m[0] = RV_LAPCOMPLETED;
    putU32(m, 1, number);
    putU32(m, 5, uint32_t(lapTime));
    putU32(m, 9, uint32_t(split));
    putU32(m, 13, uint32_t(total));
    return m;
}

std::vector<uint8_t> chat(const std::string& text, uint8_t sender) {
    std::vector<uint8_t> m = {RV_CHAT, sender, uint8_t(text.size())};
    m.insert(m.end(), text.begin(), text.end());
    return m;
}
