#include "records/CRVServerLogger.h"

#include <utility>

#include "util/PrintableText.h"

CRVServerLogger::~CRVServerLogger() {
    if (file_ != nullptr)
        std::fclose(file_);
}

std::string CRVServerLogger::fileNameFor(const std::string& stamp) {
    return "server/logs/rvserverlog[" + stamp + "].txt";
}

void CRVServerLogger::open(const std::string& fileName, const std::string& path,
                           ServerTimeSource now) {
    now_ = std::move(now);
    fileName_ = fileName;
    file_ = std::fopen(path.c_str(), "w");
}

void CRVServerLogger::log(const std::string& text, int /*kind*/) {
    if (file_ == nullptr || !now_)
        return;
    // Event texts are cut at 255 characters: whatever a client sends, a log line stays short.
    // Client texts inside an event must not start a line of their own.
    std::string event = printable(text.size() > 255 ? text.substr(0, 255) : text);
    std::string stamp = timer_.formatTime(int32_t(uint32_t(now_())));
    std::fprintf(file_, "%s,%s\n", stamp.c_str(), event.c_str());
}

void CRVServerLogger::flush() {
    if (file_ != nullptr)
        std::fflush(file_);
}
