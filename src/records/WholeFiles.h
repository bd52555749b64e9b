#pragma once
// Files the server writes whole (results, profiles): through a temp name and a rename, so a
// crash or a full disk leaves the old file or the new one, never a torn one. One the disk
// refuses is tried again at every turn until it is written.

#include <cstddef>
#include <deque>
#include <string>

#include "platform/Files.h"
#include "records/WriteFaults.h"

class WholeFiles {
  public:
    // Files waiting at most; past it the oldest is given up with a console line.
    static constexpr size_t kMaxWaiting = 256;

    WholeFiles(platform::Files& files, WriteFaults& faults) : files_(files), faults_(faults) {}

    // Writes `content` as `path` (`name` is what console lines call it). With `keepEarlier`, a
    // file already there is first kept under a numbered name, so nothing is overwritten (a file
    // with the same text is left as it is).
    void write(const std::string& path, const std::string& name, const std::string& content,
               bool keepEarlier);
    // Tries the files still waiting once more.
    void retry();
    // Whether `path` is written or waiting to be.
    bool has(const std::string& path) const;
    size_t waiting() const { return waiting_.size(); }

  private:
    struct Entry {
        std::string path, name, content;
        bool keepEarlier;
    };
    bool attempt(const Entry& e);

    platform::Files& files_;
    WriteFaults& faults_;
    std::deque<Entry> waiting_;
};
