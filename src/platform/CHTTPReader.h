#pragma once
// A minimal HTTP GET reader for the lobby's web service: one request at a time, the response
// body kept as text, every wait bounded so a dead lobby never holds up the server.

#include <cstddef>
#include <string>
#include <vector>

class CHTTPReader {
  public:
    static constexpr size_t kBufferSize = 500000;
    static constexpr long kConnectTimeoutMs = 2000;
    static constexpr long kTotalTimeoutMs = 3000;

    // The defaults bound the lobby's removal request; tests pass short ones.
    explicit CHTTPReader(long connectTimeoutMs = kConnectTimeoutMs,
                         long totalTimeoutMs = kTotalTimeoutMs);
    virtual ~CHTTPReader();
    CHTTPReader(const CHTTPReader&) = delete;
    CHTTPReader& operator=(const CHTTPReader&) = delete;

    // Fetches `url` afresh (no cache) and keeps at most kBufferSize bytes of the body. Returns
    // the bytes kept; 0 when the URL cannot be opened. A read that fails after the lobby has
    // answered prints "failed".
    int read(const std::string& url);
    // The body, NUL-terminated.
    const char* text() const { return buffer_.data(); }

  private:
    static size_t keep(char* data, size_t unit, size_t count, void* reader);

    const long connectTimeoutMs_;
    const long totalTimeoutMs_;
    void* session_ = nullptr;
    std::vector<char> buffer_;
    size_t length_ = 0;
};
