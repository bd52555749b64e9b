#include "records/WholeFiles.h"

#include <algorithm>
#include <cstdio>

void WholeFiles::write(const std::string& path, const std::string& name, const std::string& content,
                       bool keepEarlier) {
    Entry e{path, name, content, keepEarlier};
    if (attempt(e))
        return;
    if (waiting_.size() >= kMaxWaiting) {
        std::printf("Gave up writing %s\n", waiting_.front().name.c_str());
        waiting_.pop_front();
    }
    waiting_.push_back(std::move(e));
}

void WholeFiles::retry() {
    while (!waiting_.empty() && attempt(waiting_.front()))
        waiting_.pop_front();
}

bool WholeFiles::has(const std::string& path) const {
    return files_.plainFileSize(path) != -1 ||
           std::ranges::any_of(waiting_, [&](const Entry& e) { return e.path == path; });
}

bool WholeFiles::attempt(const Entry& e) {
    if (e.keepEarlier) {
        // The same text again (an empty looped race saves its empty results every turn) loses
        // nothing by replacing, and keeping each copy would fill the disk.
        std::string earlier;
        if (files_.read(e.path, earlier) && earlier == e.content)
            return true;
        platform::keepAside(files_, e.path, false);
    }
    int error = 0;
    if (platform::writeWholeFile(files_, e.path, e.content, error))
        return true;
    faults_.failed(e.name, error, e.content.size());
    return false;
}
