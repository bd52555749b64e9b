#pragma once
// The datagrams the companion programs send to a server and the status answer they read back,
// built and read with the server's own byte helpers and layouts.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tool {

std::vector<uint8_t> statusQuery(uint32_t token);
std::vector<uint8_t> echoProbe();
// The password field holds 16 characters; a longer password can never match.
std::vector<uint8_t> adminCommand(const std::string& password, const std::string& command);
constexpr size_t kMaxAdminPassword = 16;

// What RV_STATUS tells anyone who asks.
struct ServerStatus {
    std::string name, track, configuration, car;
    int sessionType = 0;
    std::string statusText;
    int maxClients = 0;
    int clients = 0;
    int raceLaps = 0;
    int access = 0;  // 0 closed to new clients, 1 open, 2 open with a password
    int bandwidth = 0;
    int rain = 0;
    int damage = 0;
};

// "" when `answer` is a whole status reply carrying `token`; otherwise why it is not.
std::string checkStatus(const std::vector<uint8_t>& answer, uint32_t token);
ServerStatus readStatus(const std::vector<uint8_t>& answer);
// "" when `answer` is the one-byte echo.
std::string checkEcho(const std::vector<uint8_t>& answer);

std::string sessionTypeName(int type);
std::string accessName(int access);
nlohmann::ordered_json toJson(const ServerStatus& status);
// The readable block, one "label: value" line each.
std::string toText(const ServerStatus& status);

}  // namespace tool
