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
