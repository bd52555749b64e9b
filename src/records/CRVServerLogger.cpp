#include "records/CRVServerLogger.h"

#include <utility>

#include "util/PrintableText.h"

std::string CRVServerLogger::fileNameFor(const std::string& stamp) {
    return "server/logs/rvserverlog[" + stamp + "].txt";
}

void CRVServerLogger::open(const std::string& fileName, const std::string& path,
                           ServerTimeSource now, platform::Files& files, WriteFaults* faults) {
    now_ = std::move(now);
    fileName_ = fileName;
    file_.open(files, path, fileName, faults);
}

void CRVServerLogger::log(const std::string& text, int /*kind*/) {
    if (!file_.isOpen() || !now_)
        return;
    // Event texts are cut at 255 characters: whatever a client sends, a log line stays short.
    // Client texts inside an event must not start a line of their own.
    std::string event = printable(text.size() > 255 ? text.substr(0, 255) : text);
    std::string stamp = timer_.formatTime(int32_t(uint32_t(now_())));
    file_.append(stamp + "," + event + "\n");
}

void CRVServerLogger::flush() {
    file_.flush();
}
