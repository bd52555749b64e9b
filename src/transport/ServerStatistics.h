#pragma once
// Traffic counters of the router, reported every ten seconds of server time into
// "serverStats.txt".

#include <cstdint>
#include <cstdio>
#include <string>

class CRVServer;

class ServerStatistics {
  public:
    ServerStatistics(CRVServer* server, const std::string& path);
    virtual ~ServerStatistics();
    ServerStatistics(const ServerStatistics&) = delete;
    ServerStatistics& operator=(const ServerStatistics&) = delete;

    void update();
    void flush();

    int32_t bytesWritten = 0;
    int32_t bytesRead = 0;
    int32_t readErrors = 0;
    int32_t writeErrors = 0;
    int32_t messagesWritten = 0;
    int32_t messagesRead = 0;
    int32_t interval = 10000;
    int32_t lastReport = 0;

  private:
    CRVServer* server_;
    std::FILE* file_ = nullptr;
};
