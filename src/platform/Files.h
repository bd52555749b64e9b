#pragma once
// The file operations whose faults the server survives: a full disk, an I/O error, a short
// write, a file or folder that vanishes. Everything the server writes goes through `Files`;
// tests hand the server one that fails on purpose.

#include <cstddef>
#include <string>

namespace platform {

class Files {
  public:
    virtual ~Files() = default;
    // Each returns -1 or false on failure and sets `error` to the errno value.
    virtual int openForWrite(const std::string& path, bool append, int& error);
    // The bytes written, possibly fewer than `size`, or -1.
    virtual long write(int fd, const void* data, size_t size, int& error);
    virtual bool sync(int fd, int& error);
    virtual bool truncate(int fd, long size, int& error);
    virtual void close(int fd);
    virtual bool rename(const std::string& from, const std::string& to, int& error);
    virtual void remove(const std::string& path);
    // -1 when there is nothing at `path`; symbolic links are not followed, and anything that
    // is not a plain file reads as -2.
    virtual long plainFileSize(const std::string& path);
    // The whole of a plain file; false when there is none or it cannot be read.
    virtual bool read(const std::string& path, std::string& content);
};

// The operating system's own files.
Files& systemFiles();

// Writes the whole of `data`, going on after short writes. False on the first error; `written`
// tells how far it got.
bool writeAll(Files& files, int fd, const void* data, size_t size, size_t& written, int& error);

// Writes `content` to a temp name beside `path`, forces it to disk and renames it over `path`:
// a crash or a full disk at any moment leaves the old file or the new one, never a torn one.
bool writeWholeFile(Files& files, const std::string& path, const std::string& content, int& error);

// "<stem>-<n><extension>": where a file that must not be replaced is kept.
std::string numberedName(const std::string& path, int n);

// Renames a plain file at `path` (not empty, when `nonEmptyOnly`) to the first numbered name
// that is free, so that a new file can take `path` without losing it. Returns the name it was
// kept under, or "" when there was nothing to keep or the rename failed.
std::string keepAside(Files& files, const std::string& path, bool nonEmptyOnly);

// The text of an errno value, as the console shows it.
std::string errorText(int error);

}  // namespace platform
