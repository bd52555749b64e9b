#pragma once
// A file the server appends to (the event log, the statistics, the recording), written from a
// buffer once a second or when the buffer fills. A write the disk refuses stays in the buffer
// and goes at the next flush; past kMaxPending the newest text is dropped and reported.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Files.h"
#include "records/WriteFaults.h"

class AppendFile {
  public:
    static constexpr size_t kFlushAt = 64 * 1024;
    static constexpr size_t kMaxPending = 1024 * 1024;

    AppendFile() = default;
    ~AppendFile() { close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens `path` emptied; `name` is what console lines call it.
    bool open(platform::Files& files, const std::string& path, const std::string& name,
              WriteFaults* faults);
    bool isOpen() const { return fd_ >= 0; }
    // False when the text was dropped or a flush it caused failed.
    bool append(const void* data, size_t size);
    bool append(const std::string& text) { return append(text.data(), text.size()); }
    // Writes out the buffer. False when the disk took less than all of it.
    bool flush();
    // Bytes on disk now, and after the last flush that wrote everything.
    uint64_t size() const { return size_; }
    uint64_t wholeSize() const { return whole_; }
    size_t pending() const { return pending_.size(); }
    // Cuts the file back to `length` bytes (where its last whole record ends) and closes it.
    void abandon(uint64_t length);
    void close();
    int lastError() const { return lastError_; }

  private:
    platform::Files* files_ = nullptr;
    WriteFaults* faults_ = nullptr;
    std::string name_;
    int fd_ = -1;
    std::string pending_;
    uint64_t whole_ = 0;  // file length after the last complete flush
    uint64_t size_ = 0;   // file length now
    uint64_t dropped_ = 0;
    int lastError_ = 0;
};
