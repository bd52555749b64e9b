#pragma once

#include <cstdio>
#include <string>

#include "transport/CTimer.h"

class CRVServer;

// The event log: one line per event, "<server time>,<event text>".
class CRVServerLogger {
  public:
    CRVServerLogger() = default;
    virtual ~CRVServerLogger();
    CRVServerLogger(const CRVServerLogger&) = delete;
    CRVServerLogger& operator=(const CRVServerLogger&) = delete;

    // Opens "server/logs/rvserverlog[<local month_day_hour_minute>].txt" below the server root.
    void open(CRVServer* server);
    // `kind` (0 to 4) only tells the reader of the code what sort of event this is.
    void log(const std::string& text, int kind);
    void flush();
    const std::string& fileName() const { return fileName_; }

  private:
    std::FILE* file_ = nullptr;
    CRVServer* server_ = nullptr;
    CTimer timer_;
    std::string fileName_;
};
