#pragma once
// The words of the kick and ban commands, as an admin types them in chat or the operator sends
// them from the remote console: "kick ID [REASON]", "ban ID|GUID|ADDRESS[/BITS] MINUTES
// [REASON]", "unban GUID|ADDRESS[/BITS]" and "bans".

#include <cstdint>
#include <string>

#include "admission/BanList.h"

struct BanCommand {
    enum class Kind { kNone, kKick, kBan, kUnban, kList };
    static constexpr size_t kMaxReason = 255;

    Kind kind = Kind::kNone;  // kNone: the word is not one of these commands
    int clientId = -1;        // kick, and ban by id
    BanTarget target;         // ban and unban by guid or address
    int64_t minutes = 0;
    std::string reason;  // cleaned, cut, never empty
    std::string error;   // set: the reply, and nothing is done
};

// `word` is the command word, `rest` the text after it.
BanCommand parseBanCommand(const std::string& word, const std::string& rest);
