#include "records/ServerStatistics.h"

#include "transport/CTimer.h"

ServerStatistics::ServerStatistics(TrafficCounters& traffic, const std::string& path)
    : traffic_(traffic), file_(std::fopen(path.c_str(), "w")) {}

ServerStatistics::~ServerStatistics() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void ServerStatistics::flush() {
    if (file_ != nullptr)
        std::fflush(file_);
}

void ServerStatistics::update(int64_t now) {
    if (now - int64_t(lastReport) < int64_t(interval))
        return;
    TrafficCounters& t = traffic_;
    if (file_ != nullptr) {
        // The byte rates divide by whole seconds first, so small counts report 0.0 KB/s.
        int32_t s = interval / 1000;
        double perSecond = interval / 1000.0;
        float writeRate = float(t.bytesWritten / s) / 1024;
        float readRate = float(t.bytesRead / s) / 1024;
        std::fprintf(file_, "\n\nSERVER TIME: %s\n", CTimer::formatTime(int32_t(now)).c_str());
        std::fprintf(file_, "I/O, WRITE: %d (%.1f KB/s) READ: %d (%.1f KB/s)\n", t.bytesWritten,
                     writeRate, t.bytesRead, readRate);
        std::fprintf(file_, "ERRORS/BLOCKS WRITE: %d (%.1f /s) READ: %d (%.1f /s)\n", t.writeErrors,
                     float(t.writeErrors / perSecond), t.readErrors,
                     float(t.readErrors / perSecond));
        std::fprintf(file_, "MESSAGES WRITE: %d (%.1f /s) READ: %d (%.1f /s)\n", t.messagesWritten,
                     float(t.messagesWritten / perSecond), t.messagesRead,
                     float(t.messagesRead / perSecond));
    }
    lastReport = int32_t(now);
    t = TrafficCounters();
}
