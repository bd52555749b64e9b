#include "records/CRVServerLogger.h"

#include "runtime/CRVServer.h"
#include "util/PrintableText.h"

CRVServerLogger::~CRVServerLogger() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void CRVServerLogger::open(CRVServer* server) {
    server_ = server;
    fileName_ = "server/logs/rvserverlog[" + server->localTimeText("%m_%d_%H_%M") + "].txt";
    file_ = std::fopen(server->outputPath(fileName_).c_str(), "w");
}

void CRVServerLogger::log(const std::string& text, int /*kind*/) {
    if (file_ == nullptr || server_ == nullptr)
        return;
    // Event texts are cut at 255 characters, as their writers' buffers were.
    // Client texts inside an event must not start a line of their own.
    std::string event = printable(text.size() > 255 ? text.substr(0, 255) : text);
    std::string stamp = timer_.formatTime(int32_t(uint32_t(server_->serverTime)));
    std::fprintf(file_, "%s,%s\n", stamp.c_str(), event.c_str());
}

void CRVServerLogger::flush() {
    if (file_ != nullptr)
        std::fflush(file_);
}
