#include "records/ServerStatistics.h"

#include <algorithm>
#include <cstdio>

#include "transport/CTimer.h"

ServerStatistics::ServerStatistics(TrafficCounters& traffic, const std::string& path,
                                   platform::Files& files, WriteFaults* faults)
    : traffic_(traffic), faults_(faults) {
    file_.open(files, path, "serverStats.txt", faults);
}

void ServerStatistics::flush() {
    file_.flush();
}

void ServerStatistics::update(int64_t now) {
    if (now - int64_t(lastReport) < int64_t(interval))
        return;
    TrafficCounters& t = traffic_;
    if (file_.isOpen()) {
        char line[160];
        const auto add = [&](int n) {
            file_.append(line, size_t(std::min(n, int(sizeof line) - 1)));
        };
        // The byte rates divide by whole seconds first, so small counts report 0.0 KB/s.
        int32_t s = interval / 1000;
        double perSecond = interval / 1000.0;
        float writeRate = float(t.bytesWritten / s) / 1024;
        float readRate = float(t.bytesRead / s) / 1024;
        add(std::snprintf(line, sizeof line, "\n\nSERVER TIME: %s\n",
                          CTimer::formatTime(int32_t(now)).c_str()));
        add(std::snprintf(line, sizeof line, "I/O, WRITE: %d (%.1f KB/s) READ: %d (%.1f KB/s)\n",
                          t.bytesWritten, writeRate, t.bytesRead, readRate));
        add(std::snprintf(line, sizeof line,
                          "ERRORS/BLOCKS WRITE: %d (%.1f /s) READ: %d (%.1f /s)\n", t.writeErrors,
                          float(t.writeErrors / perSecond), t.readErrors,
                          float(t.readErrors / perSecond)));
        add(std::snprintf(line, sizeof line, "MESSAGES WRITE: %d (%.1f /s) READ: %d (%.1f /s)\n",
                          t.messagesWritten, float(t.messagesWritten / perSecond), t.messagesRead,
                          float(t.messagesRead / perSecond)));
        if (faults_ != nullptr && faults_->total() > 0)
            add(std::snprintf(line, sizeof line, "FILE WRITES FAILED: %llu\n",
                              static_cast<unsigned long long>(faults_->total())));
    }
    lastReport = int32_t(now);
    t = TrafficCounters();
}
