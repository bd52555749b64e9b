#include "rvcheck/BanListCheck.h"

#include <chrono>
#include <filesystem>

#include "admission/BanList.h"
#include "common/Cli.h"

using nlohmann::ordered_json;

namespace {

constexpr size_t kShownBans = 50;

std::string text(const ordered_json& v) {
    return v.is_string() ? tool::printable(v.get<std::string>()) : v.dump();
}

}  // namespace

ordered_json banListOf(const std::string& root, const ServerConfig& config,
                       std::vector<std::string>& warnings) {
    const std::string& where = config.banList;
    BanFile file;
    file.setPath(!where.empty() && where.front() == '/' ? where : root + where);
    BanList list;
    file.read(list);
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    ordered_json shown = ordered_json::array();
    for (const Ban& b : list.bans)
        if (b.activeAt(now) && shown.size() < kShownBans)
            shown.push_back(
                {{"target", b.target()},
                 {"until", b.minutes == 0 ? ordered_json(nullptr) : ordered_json(banEndText(b))},
                 {"admin", b.admin},
                 {"reason", b.reason},
                 {"refused", b.refused}});
    for (const std::string& problem : list.problems)
        warnings.push_back("ban list " + where + ": " + problem);
    const int active = list.activeCount(now);
    return {{"file", where},
            {"present", std::filesystem::exists(file.path())},
            {"active", active},
            {"expired", int(list.bans.size()) - active},
            {"unreadable", list.unreadable.size()},
            {"bans", shown}};
}

std::string describeBansAndMotd(const ordered_json& r) {
    std::string out =
        "message of the day: " + (r["motd"].is_null() ? "none" : "\"" + text(r["motd"]) + "\"") +
        "\n";
    const auto& b = r["banList"];
    out += "ban list: " + text(b["file"]) +
           (b["present"].get<bool>()
                ? ", " + text(b["active"]) + " active, " + text(b["expired"]) + " expired"
                : " (none yet)") +
           "\n";
    for (const auto& ban : b["bans"])
        out += "  " + text(ban["target"]) +
               (ban["until"].is_null() ? " for good" : " until " + text(ban["until"])) + " by " +
               text(ban["admin"]) + ", " + text(ban["refused"]) +
               " turned away: " + text(ban["reason"]) + "\n";
    return out;
}
