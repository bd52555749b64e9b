#include "records/AppendFile.h"

#include <cerrno>

bool AppendFile::open(platform::Files& files, const std::string& path, const std::string& name,
                      WriteFaults* faults) {
    close();
    files_ = &files;
    faults_ = faults;
    name_ = name;
    int error = 0;
    fd_ = files.openForWrite(path, false, error);
    if (fd_ < 0 && faults_ != nullptr)
        faults_->failed(name_, error, 0);
    return fd_ >= 0;
}

bool AppendFile::append(const void* data, size_t size) {
    if (fd_ < 0)
        return false;
    if (pending_.size() + size > kMaxPending) {
        dropped_ += size;
        return false;
    }
    pending_.append(static_cast<const char*>(data), size);
    return pending_.size() < kFlushAt || flush();
}

bool AppendFile::flush() {
    if (fd_ < 0 || (pending_.empty() && dropped_ == 0))
        return true;
    size_t written = 0;
    int error = 0;
    const bool ok =
        platform::writeAll(*files_, fd_, pending_.data(), pending_.size(), written, error);
    pending_.erase(0, written);
    size_ += written;
    if (ok && dropped_ == 0) {
        whole_ = size_;
        return true;
    }
    if (ok)
        error = ENOSPC;  // the disk came back, but what overflowed the buffer is gone
    lastError_ = error;
    if (faults_ != nullptr)
        faults_->failed(name_, error, pending_.size() + dropped_);
    dropped_ = 0;
    return false;
}

void AppendFile::abandon(uint64_t length) {
    if (fd_ < 0)
        return;
    int error = 0;
    files_->truncate(fd_, long(length), error);
    pending_.clear();
    close();
}

void AppendFile::close() {
    if (fd_ < 0)
        return;
    flush();
    files_->close(fd_);
    fd_ = -1;
    pending_.clear();
}
