#pragma once
// The ban list: who may not join, by identity (guid) or by IPv4 address range, for a number of
// minutes or for good. It lives in a file of one section per ban that operators and league
// tools may edit while the server runs; the server reads it again when it changes on disk and
// writes it whole when a ban is set, lifted or runs out. Expired bans stay in the file, marked.

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "transport/Budgets.h"

namespace platform {
class Files;
}

struct Ban {
    // Longest ban an operator can set: ten years. Longer is meant as "for good", which is 0.
    static constexpr int64_t kMaxMinutes = 5256000;

    std::string guid;      // cleaned as client texts are; empty for an address ban
    uint32_t network = 0;  // host order, host bits cleared
    int bits = -1;         // prefix length 0 to 32 of an address ban; -1 for a guid ban
    int64_t start = 0;     // seconds since 1970, UTC
    int64_t minutes = 0;   // 0: for good
    std::string reason;
    std::string admin;
    int64_t refused = 0;  // joins it turned away
    bool expired = false;
    std::string liftedBy;  // who lifted it before its time, if anyone

    // "guid" or "a.b.c.d" or "a.b.c.d/bits" (a whole address shows no "/32").
    std::string target() const;
    bool activeAt(int64_t now) const { return !expired && (minutes == 0 || now < end()); }
    int64_t end() const { return start + minutes * 60; }
    // Whether this ban names `guid` (as the client sent it) or `address` (host order).
    bool covers(const std::string& clientGuid, uint32_t address) const;
};

// What a ban command or a ban file names: a guid, or an address with an optional prefix length.
struct BanTarget {
    std::string guid;
    uint32_t network = 0;
    int bits = -1;
    // A ban on this target with nothing else set yet.
    Ban ban() const {
        Ban b;
        b.guid = guid;
        b.network = network;
        b.bits = bits;
        return b;
    }
};
// "a.b.c.d" or "a.b.c.d/bits" (0 to 32); host bits are cleared. False for anything else.
bool parseAddressTarget(const std::string& text, BanTarget& out);
// Seconds since 1970 as "YYYY-MM-DD HH:MM:SS UTC", and back (the " UTC" may be left out).
std::string utcText(int64_t seconds);
bool parseUtcText(const std::string& text, int64_t& seconds);
// When a timed ban ends, for the banned driver: the end rounded up to its minute,
// "YYYY-MM-DD HH:MM UTC".
std::string banEndText(const Ban& ban);

class BanList {
  public:
    // Replaces the list with the file's text. Each section that cannot be read is kept as it
    // was (so writing the file back loses nothing) and named in `problems`.
    void parse(const std::string& text);
    // The file's text: one section per ban, then the unreadable sections as they were.
    std::string render() const;

    // The ban that turns away `guid` or `address` (host order) at `now`, or null.
    Ban* find(const std::string& guid, uint32_t address, int64_t now);
    // The active ban on exactly this target, or null.
    Ban* activeOn(const BanTarget& target, int64_t now);
    // Sets a ban; one still active on the same target is replaced.
    Ban& add(const BanTarget& target, int64_t start, int64_t minutes, const std::string& reason,
             const std::string& admin);
    // Marks the bans whose time is up as expired; how many there were.
    int expire(int64_t now);
    // Ends an active ban now.
    void lift(Ban& ban, const std::string& admin);

    int activeCount(int64_t now) const;

    std::vector<Ban> bans;
    std::vector<std::string> unreadable;  // whole sections, header included
    std::vector<std::string> problems;    // one line per unreadable section

  private:
    void index();
    void indexOne(size_t at);
    void unindex(const Ban& ban);

    std::unordered_map<std::string, size_t> byGuid_;
    std::array<std::unordered_map<uint32_t, size_t>, 33> byNetwork_;
    uint64_t lengthsInUse_ = 0;  // bit n: some address ban has prefix length n
};

// The ban list's file: where it is, whether it changed on disk since it was last read or
// written, and writing it whole.
class BanFile {
  public:
    void setPath(const std::string& path) { path_ = path; }
    const std::string& path() const { return path_; }
    // True when the file's size or modification time differs from what was last seen; a file
    // that is not there reads as empty.
    bool changedOnDisk() const;
    // Reads the file into `list` (an absent file is an empty list).
    void read(BanList& list);
    // Writes `list` through `files`; false with `error` (an errno value) when it could not.
    bool write(const BanList& list, platform::Files& files, int& error);

  private:
    struct Stamp {
        int64_t size = -1;
        int64_t modified = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stampNow() const;

    std::string path_;
    Stamp seen_;
};

// The server's ban state: the list, its file, and the wall clock bans are timed by.
struct Bans {
    BanList list;
    BanFile file;
    // Seconds since 1970 (UTC) when server time was 0: bans outlive the server, so they are
    // timed by the calendar, moved on by server time.
    int64_t clockAtStart = 0;
    int64_t lastCheckMs = 0;
    int64_t lastSaveMs = 0;
    bool countsUnsaved = false;
    // An offline replay reads the list but never writes it.
    bool readOnly = false;
    platform::Files* files = nullptr;  // null: the server's own
    // Turned-away joins are logged at this pace at most; a flood of forged joins in a banned
    // name is counted instead.
    TokenBucket lineBudget{5, 20};
    DropReport lineDrops{"turned-away joins not logged (rate limit)"};

    int64_t now(int64_t serverTimeMs) const { return clockAtStart + serverTimeMs / 1000; }
};
