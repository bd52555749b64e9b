#pragma once

#include <string>

#include "records/AppendFile.h"
#include "transport/CTimer.h"
#include "transport/Clock.h"

// The event log: one line per event, "<server time>,<event text>".
class CRVServerLogger {
  public:
    CRVServerLogger() = default;
    virtual ~CRVServerLogger() = default;
    CRVServerLogger(const CRVServerLogger&) = delete;
    CRVServerLogger& operator=(const CRVServerLogger&) = delete;

    // "server/logs/rvserverlog[<stamp>].txt", with the local month_day_hour_minute as stamp.
    static std::string fileNameFor(const std::string& stamp);
    // Writes to `path` (where `fileName` was placed), each line stamped with `now`; what the
    // disk refuses is reported to `faults`.
    void open(const std::string& fileName, const std::string& path, ServerTimeSource now,
              platform::Files& files, WriteFaults* faults);
    // `kind` (0 to 4) only tells the reader of the code what sort of event this is.
    void log(const std::string& text, int kind);
    void flush();
    const std::string& fileName() const { return fileName_; }

  private:
    AppendFile file_;
    ServerTimeSource now_;
    CTimer timer_;
    std::string fileName_;
};
