#include "admission/BanCommand.h"

#include <charconv>

#include "util/PrintableText.h"

namespace {

constexpr char kNoReason[] = "no reason given";

// The next word, ended by a space; "" when the text is used up.
std::string nextWord(const std::string& text, size_t& at) {
    at = text.find_first_not_of(' ', at);
    if (at == std::string::npos) {
        at = text.size();
        return "";
    }
    const size_t end = std::min(text.find(' ', at), text.size());
    std::string word = text.substr(at, end - at);
    at = end;
    return word;
}

bool digitsOnly(const std::string& w) {
    return !w.empty() && w.find_first_not_of("0123456789") == std::string::npos;
}

// Client texts go into chat, the log and the ban file: no control characters, no more than a
// log field holds.
std::string reasonFrom(const std::string& text, size_t at) {
    std::string r = text.substr(std::min(text.find_first_not_of(' ', at), text.size()));
    while (!r.empty() && (r.back() == ' ' || r.back() == '\n' || r.back() == '\r'))
        r.pop_back();
    r = printable(r.substr(0, BanCommand::kMaxReason));
    return r.empty() ? kNoReason : r;
}

// Ids are 1 to 255; a word of digits is always an id, so "ban 300 5" is an unknown id rather
// than a guid.
bool readId(const std::string& word, BanCommand& c) {
    int id = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), id);
    if (ec != std::errc() || end != word.data() + word.size() || id < 1 || id > 255) {
        c.error = "NO CLIENT WITH ID " + word.substr(0, 12);
        return false;
    }
    c.clientId = id;
    return true;
}

bool readTarget(const std::string& word, BanCommand& c, bool idAllowed) {
    if (idAllowed && digitsOnly(word))
        return readId(word, c);
    if (word.find_first_not_of("0123456789./") == std::string::npos) {
        if (parseAddressTarget(word, c.target))
            return true;
        c.error = "BAD ADDRESS " + word.substr(0, 20);
        return false;
    }
    if (word.size() > 63) {
        c.error = "A GUID HAS AT MOST 63 CHARACTERS";
        return false;
    }
    c.target = BanTarget{printable(word), 0, -1};
    return true;
}

}  // namespace

BanCommand parseBanCommand(const std::string& word, const std::string& rest) {
    BanCommand c;
    std::string text = rest;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    size_t at = 0;
    if (word == "kick") {
        c.kind = BanCommand::Kind::kKick;
        const std::string id = nextWord(text, at);
        if (id.empty())
            c.error = "USAGE: kick ID [REASON]";
        else if (readId(id, c))
            c.reason = reasonFrom(text, at);
    } else if (word == "ban") {
        c.kind = BanCommand::Kind::kBan;
        const std::string target = nextWord(text, at);
        const std::string minutes = nextWord(text, at);
        if (minutes.empty()) {
            c.error = "USAGE: ban ID|GUID|ADDRESS[/BITS] MINUTES [REASON]";
        } else if (readTarget(target, c, true)) {
            const auto [end, ec] =
                std::from_chars(minutes.data(), minutes.data() + minutes.size(), c.minutes);
            if (!digitsOnly(minutes) || ec != std::errc() || c.minutes > Ban::kMaxMinutes)
                c.error = "MINUTES: 0 (FOR GOOD) TO " + std::to_string(Ban::kMaxMinutes);
            c.reason = reasonFrom(text, at);
        }
    } else if (word == "unban") {
        c.kind = BanCommand::Kind::kUnban;
        const std::string target = nextWord(text, at);
        if (target.empty() || !nextWord(text, at).empty())
            c.error = "USAGE: unban GUID|ADDRESS[/BITS]";
        else
            readTarget(target, c, false);
    } else if (word == "bans") {
        c.kind = BanCommand::Kind::kList;
    }
    return c;
}
