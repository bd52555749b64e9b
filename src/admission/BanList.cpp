#include "admission/BanList.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "platform/Files.h"
#include "util/PrintableText.h"

namespace {

bool wholeNumber(const std::string& text, int64_t& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::string dotted(uint32_t ip) {
    return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 255) + "." +
           std::to_string((ip >> 8) & 255) + "." + std::to_string(ip & 255);
}

uint32_t maskOf(int bits) {
    return bits <= 0 ? 0u : ~uint32_t(0) << (32 - bits);
}

enum Key { kGuid, kAddress, kStart, kMinutes, kReason, kAdmin, kRefused, kExpired, kLifted, kKeys };
constexpr std::string_view kKeyNames[kKeys] = {"GUID",  "ADDRESS", "START",   "MINUTES", "REASON",
                                               "ADMIN", "REFUSED", "EXPIRED", "LIFTEDBY"};

// One section of the file as read: where it stands in the text, and its values by key. A list
// of a hundred thousand bans is read while the event runs, so nothing here copies lines.
struct Section {
    size_t from = 0;  // the header line's start
    size_t to = 0;    // past the section's last line
    std::string_view header;
    std::array<std::optional<std::string_view>, kKeys> values;
    std::string problem;

    std::string value(Key k) const { return std::string(values[k].value_or("")); }
    bool has(Key k) const { return values[k].has_value(); }
    void take(std::string_view line) {
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            problem = "the line \"" + std::string(line.substr(0, 40)) + "\" is not KEY=value";
            return;
        }
        const std::string_view key = line.substr(0, eq);
        const auto known = std::find(std::begin(kKeyNames), std::end(kKeyNames), key);
        if (known == std::end(kKeyNames))
            problem = "unknown key " + std::string(key.substr(0, 40));
        else if (values[size_t(known - std::begin(kKeyNames))])
            problem = std::string(key) + " appears twice";
        else
            values[size_t(known - std::begin(kKeyNames))] = line.substr(eq + 1);
    }
};

// A section's values as a ban; false with `why` set when they do not make one.
bool banOf(const Section& s, Ban& b, std::string& why) {
    if (s.has(kGuid) == s.has(kAddress)) {
        why = "a ban names either a GUID or an ADDRESS";
        return false;
    }
    BanTarget t;
    if (s.has(kAddress) && !parseAddressTarget(s.value(kAddress), t)) {
        why = "ADDRESS " + s.value(kAddress) + " is not a.b.c.d or a.b.c.d/bits";
        return false;
    }
    if (s.has(kGuid) && (s.value(kGuid).empty() || s.value(kGuid).size() > 63)) {
        why = "GUID must have 1 to 63 characters";
        return false;
    }
    b.guid = s.has(kGuid) ? printable(s.value(kGuid)) : "";
    b.network = t.network;
    b.bits = t.bits;
    if (!parseUtcText(s.value(kStart), b.start)) {
        why = "START is not YYYY-MM-DD HH:MM:SS UTC";
        return false;
    }
    if (!wholeNumber(s.value(kMinutes), b.minutes) || b.minutes < 0 ||
        b.minutes > Ban::kMaxMinutes) {
        why = "MINUTES is not a number from 0 to " + std::to_string(Ban::kMaxMinutes);
        return false;
    }
    int64_t expired = 0;
    if ((s.has(kRefused) && !wholeNumber(s.value(kRefused), b.refused)) ||
        (s.has(kExpired) && !wholeNumber(s.value(kExpired), expired))) {
        why = "REFUSED and EXPIRED are numbers";
        return false;
    }
    b.expired = expired != 0;
    b.reason = s.value(kReason);
    b.admin = s.value(kAdmin);
    b.liftedBy = s.value(kLifted);
    return true;
}

}  // namespace

std::string Ban::target() const {
    if (bits < 0)
        return guid;
    return bits == 32 ? dotted(network) : dotted(network) + "/" + std::to_string(bits);
}

bool Ban::covers(const std::string& clientGuid, uint32_t address) const {
    if (bits < 0)
        return !clientGuid.empty() && printable(clientGuid) == guid;
    return (address & maskOf(bits)) == network;
}

bool parseAddressTarget(const std::string& text, BanTarget& out) {
    const size_t slash = text.find('/');
    const std::string address = text.substr(0, slash);
    int64_t bits = 32;
    if (slash != std::string::npos && (!wholeNumber(text.substr(slash + 1), bits) || bits > 32))
        return false;
    uint32_t ip = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t dot = part < 3 ? address.find('.', at) : address.size();
        int64_t octet = -1;
        if (dot == std::string::npos || dot - at > 3 ||
            !wholeNumber(address.substr(at, dot - at), octet) || octet > 255)
            return false;
        ip = (ip << 8) | uint32_t(octet);
        at = dot + 1;
    }
    out = BanTarget{"", ip & maskOf(int(bits)), int(bits)};
    return true;
}

std::string utcText(int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds t{std::chrono::seconds{seconds}};
    const sys_days day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d UTC", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(hms.hours().count()),
                  int(hms.minutes().count()), int(hms.seconds().count()));
    return text;
}

bool parseUtcText(const std::string& text, int64_t& seconds) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) !=
            6 ||
        (text.substr(size_t(used)) != "" && text.substr(size_t(used)) != " UTC"))
        return false;
    using namespace std::chrono;
    const year_month_day ymd{year(y), month(unsigned(mo)), day(unsigned(d))};
    if (y < 1970 || !ymd.ok() || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
        return false;
    seconds = sys_days(ymd).time_since_epoch().count() * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

std::string banEndText(const Ban& ban) {
    const std::string text = utcText((ban.end() + 59) / 60 * 60);
    return text.substr(0, 16) + " UTC";
}

void BanList::parse(const std::string& text) {
    bans.clear();
    unreadable.clear();
    problems.clear();
    std::vector<Section> sections;
    const std::string_view all(text);
    std::string_view stray;
    for (size_t at = 0; at < all.size();) {
        const size_t next = std::min(all.find('\n', at), all.size() - 1) + 1;
        std::string_view line = all.substr(at, next - at);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        if (!line.empty() && line.front() == '[') {
            sections.push_back(Section{at, next, line, {}, ""});
        } else if (sections.empty()) {
            stray = stray.empty() ? line : stray;
        } else {
            Section& s = sections.back();
            s.to = next;
            if (!line.empty() && s.problem.empty())
                s.take(line);
        }
        at = next;
    }
    if (!stray.empty())
        problems.push_back("text before the first section ignored: \"" +
                           printable(stray.substr(0, 40)) + "\"");
    bans.reserve(sections.size());
    for (const Section& s : sections) {
        Ban b;
        std::string why = s.problem;
        if (why.empty() && banOf(s, b, why)) {
            bans.push_back(std::move(b));
            continue;
        }
        // Kept as the operator wrote it, but ending its last line, so the next section
        // written after it starts a line of its own.
        std::string raw(all.substr(s.from, s.to - s.from));
        if (raw.back() != '\n')
            raw += "\r\n";
        unreadable.push_back(raw);
        problems.push_back(printable(s.header) + " ignored: " + printable(why));
    }
    index();
}

std::string BanList::render() const {
    std::string out;
    out.reserve(bans.size() * 160);
    for (size_t i = 0; i < bans.size(); ++i) {
        const Ban& b = bans[i];
        out += "[BAN" + std::to_string(i) + "]\r\n";
        out += (b.bits < 0 ? "GUID=" : "ADDRESS=") + b.target() + "\r\n";
        out += "START=" + utcText(b.start) + "\r\n";
        out += "MINUTES=" + std::to_string(b.minutes) + "\r\n";
        out += "REASON=" + b.reason + "\r\nADMIN=" + b.admin + "\r\n";
        out += "REFUSED=" + std::to_string(b.refused) + "\r\n";
        if (b.expired)
            out += "EXPIRED=1\r\n";
        if (!b.liftedBy.empty())
            out += "LIFTEDBY=" + b.liftedBy + "\r\n";
    }
    for (const std::string& section : unreadable)
        out += section;
    return out;
}

void BanList::index() {
    byGuid_.clear();
    byGuid_.reserve(bans.size());
    for (auto& m : byNetwork_)
        m.clear();
    lengthsInUse_ = 0;
    for (size_t i = 0; i < bans.size(); ++i)
        if (!bans[i].expired)
            indexOne(i);
}

// The latest ban on a target wins its place in the index.
void BanList::indexOne(size_t at) {
    const Ban& b = bans[at];
    if (b.bits < 0) {
        byGuid_[b.guid] = at;
        return;
    }
    byNetwork_[size_t(b.bits)][b.network] = at;
    lengthsInUse_ |= uint64_t(1) << b.bits;
}

void BanList::unindex(const Ban& ban) {
    const size_t at = size_t(&ban - bans.data());
    if (ban.bits < 0) {
        auto it = byGuid_.find(ban.guid);
        if (it != byGuid_.end() && it->second == at)
            byGuid_.erase(it);
        return;
    }
    auto& m = byNetwork_[size_t(ban.bits)];
    auto it = m.find(ban.network);
    if (it != m.end() && it->second == at)
        m.erase(it);
}

Ban* BanList::find(const std::string& guid, uint32_t address, int64_t now) {
    if (!guid.empty()) {
        auto it = byGuid_.find(printable(guid));
        if (it != byGuid_.end() && bans[it->second].activeAt(now))
            return &bans[it->second];
    }
    for (int bits = 32; bits >= 0; --bits) {
        if ((lengthsInUse_ & (uint64_t(1) << bits)) == 0)
            continue;
        const auto& m = byNetwork_[size_t(bits)];
        auto it = m.find(address & maskOf(bits));
        if (it != m.end() && bans[it->second].activeAt(now))
            return &bans[it->second];
    }
    return nullptr;
}

Ban* BanList::activeOn(const BanTarget& target, int64_t now) {
    if (target.bits < 0) {
        auto it = byGuid_.find(target.guid);
        return it != byGuid_.end() && bans[it->second].activeAt(now) ? &bans[it->second] : nullptr;
    }
    const auto& m = byNetwork_[size_t(target.bits)];
    auto it = m.find(target.network);
    return it != m.end() && bans[it->second].activeAt(now) ? &bans[it->second] : nullptr;
}

Ban& BanList::add(const BanTarget& target, int64_t start, int64_t minutes,
                  const std::string& reason, const std::string& admin) {
    Ban* b = activeOn(target, start);
    if (b == nullptr) {
        bans.push_back(target.ban());
        b = &bans.back();
    }
    b->start = start;
    b->minutes = minutes;
    b->reason = reason;
    b->admin = admin;
    indexOne(size_t(b - bans.data()));
    return *b;
}

int BanList::expire(int64_t now) {
    int n = 0;
    for (Ban& b : bans)
        if (!b.expired && !b.activeAt(now)) {
            b.expired = true;
            unindex(b);
            ++n;
        }
    return n;
}

void BanList::lift(Ban& ban, const std::string& admin) {
    ban.expired = true;
    ban.liftedBy = admin;
    unindex(ban);
}

int BanList::activeCount(int64_t now) const {
    int n = 0;
    for (const Ban& b : bans)
        n += b.activeAt(now) ? 1 : 0;
    return n;
}

BanFile::Stamp BanFile::stampNow() const {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path_, ec);
    if (ec)
        return Stamp{};
    const auto modified = std::filesystem::last_write_time(path_, ec);
    return Stamp{int64_t(size), ec ? 0 : int64_t(modified.time_since_epoch().count())};
}

bool BanFile::changedOnDisk() const {
    return !(stampNow() == seen_);
}

void BanFile::read(BanList& list) {
    seen_ = stampNow();
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    list.parse(text.str());
}

bool BanFile::write(const BanList& list, platform::Files& files, int& error) {
    const bool ok = platform::writeWholeFile(files, path_, list.render(), error);
    if (ok)
        seen_ = stampNow();
    return ok;
}
