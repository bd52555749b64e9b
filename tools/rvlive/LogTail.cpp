#include "rvlive/LogTail.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include "rvlive/TimeText.h"

namespace fs = std::filesystem;

namespace live {

LogTail::News LogTail::poll() {
    News news;
    const std::string newest = newestEventLog(folder_);
    std::error_code ec;
    const uint64_t size = newest.empty() ? 0 : fs::file_size(newest, ec);
    if (newest != path_ || ec || size < offset_) {
        news.restarted = !path_.empty() || !newest.empty();
        path_ = ec ? "" : newest;
        offset_ = 0;
        partial_.clear();
        lineNumber_ = 0;
    }
    if (path_.empty() || size == offset_)
        return news;
    const auto written = fs::last_write_time(path_, ec);
    std::ifstream in(path_, std::ios::binary);
    if (!in || ec)
        return news;
    in.seekg(std::streamoff(offset_));
    std::string chunk(std::min<uint64_t>(size - offset_, kMaxReadBytes), '\0');
    in.read(chunk.data(), std::streamsize(chunk.size()));
    chunk.resize(size_t(in.gcount()));
    offset_ += chunk.size();

    size_t from = 0;
    for (size_t end; (end = chunk.find('\n', from)) != std::string::npos; from = end + 1) {
        partial_.append(chunk, from, end - from);
        LogEvent e;
        if (readEventLine(partial_, e)) {
            e.lineNumber = ++lineNumber_;
            news.events.push_back(std::move(e));
        } else {
            ++lineNumber_;
            ++news.skippedLines;
        }
        partial_.clear();
    }
    partial_.append(chunk, from, std::string::npos);
    if (partial_.size() > kMaxLineBytes)
        partial_.clear();  // no event line is that long; what follows the next line end counts
    if (!news.events.empty() && offset_ == size) {
        const auto wall = std::chrono::file_clock::to_sys(written);
        const int64_t wallMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count();
        news.origin = wallMs - stampMs(news.events.back().time);
    }
    return news;
}

}  // namespace live
