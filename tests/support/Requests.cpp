#include "support/Requests.h"

#include "protocol/MessageTypes.h"
#include "support/TestClient.h"

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
