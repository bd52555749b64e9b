#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

int Files::openForWrite(const std::string& path, bool append, int& error) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0)
        error = errno;
    return fd;
}

long Files::write(int fd, const void* data, size_t size, int& error) {
    for (;;) {
        const ssize_t n = ::write(fd, data, size);
        if (n >= 0)
            return long(n);
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

bool Files::sync(int fd, int& error) {
    if (::fsync(fd) == 0)
        return true;
    error = errno;
    // Character devices and pipes cannot be synced; their writes already went through.
    return error == EINVAL || error == EROFS;
}

bool Files::truncate(int fd, long size, int& error) {
    if (::ftruncate(fd, off_t(size)) == 0)
        return true;
    error = errno;
    return false;
}

void Files::close(int fd) {
    ::close(fd);
}

bool Files::rename(const std::string& from, const std::string& to, int& error) {
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = errno;
    return false;
}

void Files::remove(const std::string& path) {
    ::unlink(path.c_str());
}

long Files::plainFileSize(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return -1;
    return S_ISREG(st.st_mode) ? long(st.st_size) : -2;
}

bool Files::read(const std::string& path, std::string& content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content.clear();
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, size_t(n));
    ::close(fd);
    return n == 0;
}

Files& systemFiles() {
    static Files files;
    return files;
}

bool writeAll(Files& files, int fd, const void* data, size_t size, size_t& written, int& error) {
    written = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (written < size) {
        const long n = files.write(fd, bytes + written, size - written, error);
        if (n < 0)
            return false;
        if (n == 0) {
            // A write that takes nothing and reports nothing: the device is full.
            error = ENOSPC;
            return false;
        }
        written += size_t(n);
    }
    return true;
}

bool writeWholeFile(Files& files, const std::string& path, const std::string& content, int& error) {
    // The process id keeps two servers sharing a folder from writing the same temp file.
    const std::string temp = path + "." + std::to_string(long(::getpid())) + ".tmp";
    const int fd = files.openForWrite(temp, false, error);
    if (fd < 0)
        return false;
    size_t written = 0;
    bool ok = writeAll(files, fd, content.data(), content.size(), written, error) &&
              files.sync(fd, error);
    files.close(fd);
    ok = ok && files.rename(temp, path, error);
    if (!ok)
        files.remove(temp);
    return ok;
}

std::string numberedName(const std::string& path, int n) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const size_t cut = hasExtension ? dot : path.size();
    return path.substr(0, cut) + "-" + std::to_string(n) + path.substr(cut);
}

std::string keepAside(Files& files, const std::string& path, bool nonEmptyOnly) {
    const long size = files.plainFileSize(path);
    if (size < 0 || (nonEmptyOnly && size == 0))
        return "";
    for (int n = 1; n < 100000; ++n) {
        const std::string kept = numberedName(path, n);
        if (files.plainFileSize(kept) != -1)
            continue;
        int error = 0;
        return files.rename(path, kept, error) ? kept : "";
    }
    return "";
}

std::string errorText(int error) {
    return std::strerror(error);
}

}  // namespace platform
