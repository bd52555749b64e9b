#include "rvlive/EventFolders.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace live {

namespace {

std::string withSlash(const std::string& dir) {
    return !dir.empty() && dir.back() == '/' ? dir : dir + "/";
}

}  // namespace

std::vector<EventFolder> findEventFolders(const std::vector<std::string>& dirs,
                                          const std::vector<std::string>& instanceParents) {
    std::vector<EventFolder> found;
    for (const std::string& dir : dirs)
        found.push_back({withSlash(dir), false});
    for (const std::string& parent : instanceParents) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(parent, ec))
            if (fs::is_regular_file(entry.path() / "cfg" / "rvservercfg.ini", ec))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
            found.push_back({withSlash(withSlash(parent) + name), true});
    }
    return found;
}

std::string eventId(const std::string& root, const std::set<std::string>& taken) {
    std::string base;
    for (char c : fs::path(root).parent_path().filename().string())
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')
            base += c;
    if (base.empty())
        base = "event";
    std::string id = base;
    for (int n = 2; taken.count(id) != 0; ++n)
        id = base + "-" + std::to_string(n);
    return id;
}

}  // namespace live
