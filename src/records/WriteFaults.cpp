#include "records/WriteFaults.h"

#include <cstdio>

#include "platform/Files.h"

void WriteFaults::failed(const std::string& file, int error, uint64_t bytes) {
    ++total_;
    const int64_t now = now_ ? now_() : 0;
    auto it = files_.find(file);
    if (it == files_.end()) {
        if (files_.size() >= kMaxFiles)
            files_.erase(files_.begin());
        it = files_.emplace(file, Quiet{now - kReportEveryMs, 0, 0}).first;
    }
    Quiet& q = it->second;
    q.bytes = bytes;
    if (now - q.lastLine < kReportEveryMs) {
        ++q.heldBack;
        return;
    }
    std::printf("Could not write %s: %s (%llu bytes not written", file.c_str(),
                platform::errorText(error).c_str(), static_cast<unsigned long long>(q.bytes));
    if (q.heldBack > 0)
        std::printf(", %llu more failures", static_cast<unsigned long long>(q.heldBack));
    std::printf(")\n");
    q = Quiet{now, 0, 0};
}
