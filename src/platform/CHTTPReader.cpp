#include "platform/CHTTPReader.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>

CHTTPReader::CHTTPReader(long connectTimeoutMs, long totalTimeoutMs)
    : connectTimeoutMs_(connectTimeoutMs),
      totalTimeoutMs_(totalTimeoutMs),
      buffer_(kBufferSize + 1, '\0') {
    session_ = curl_easy_init();
}

CHTTPReader::~CHTTPReader() {
    if (session_ != nullptr)
        curl_easy_cleanup(static_cast<CURL*>(session_));
}

size_t CHTTPReader::keep(char* data, size_t unit, size_t count, void* reader) {
    auto* self = static_cast<CHTTPReader*>(reader);
    const size_t n = unit * count;
    const size_t take = n < kBufferSize - self->length_ ? n : kBufferSize - self->length_;
    std::memcpy(self->buffer_.data() + self->length_, data, take);
    self->length_ += take;
    // Taking less than offered ends the transfer: nothing past the buffer is wanted.
    return take;
}

int CHTTPReader::read(const std::string& url) {
    length_ = 0;
    buffer_[0] = '\0';
    CURL* curl = static_cast<CURL*>(session_);
    if (curl == nullptr)
        return 0;
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Ralvo client");
    curl_easy_setopt(curl, CURLOPT_PROXY, "");  // direct access, whatever the environment says
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs_);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, totalTimeoutMs_);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CHTTPReader::keep);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);

    const bool full = result == CURLE_WRITE_ERROR && length_ == kBufferSize;
    if (result != CURLE_OK && !full) {
        if (status != 0)
            std::printf("failed\n");
        length_ = 0;
    }
    buffer_[length_] = '\0';
    return int(length_);
}
