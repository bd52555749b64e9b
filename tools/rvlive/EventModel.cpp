#include "rvlive/EventModel.h"

#include <charconv>

#include "common/OperatorMessages.h"
#include "rvlive/TimeText.h"

using nlohmann::ordered_json;

namespace live {

namespace {

int64_t number(const std::string& text) {
    int64_t v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

// Texts after a given field may hold commas of their own.
std::string rest(const std::vector<std::string>& f, size_t from) {
    std::string text;
    for (size_t i = from; i < f.size(); ++i)
        text += (i == from ? "" : ",") + f[i];
    return text;
}

}  // namespace

void EventModel::clear() {
    *this = EventModel(withChat_);
}

std::string EventModel::nameOf(const std::string& guidOrAddress) const {
    auto it = entrants_.find(guidOrAddress);
    if (it != entrants_.end())
        return it->second.name;
    // Bans may name an address; a public page does not show drivers' addresses.
    const bool address = guidOrAddress.find_first_not_of("0123456789./:") == std::string::npos &&
                         guidOrAddress.find('.') != std::string::npos;
    return address ? "an address" : guidOrAddress;
}

void EventModel::note(const LogEvent& e, const std::string& text) {
    feed_.push_back({{"seq", nextSeq_++}, {"time", e.time}, {"kind", e.kind}, {"text", text}});
}

void EventModel::gone(const std::string& guid, const std::string& how) {
    const bool raceRunning = session_.type == 2 && session_.startedAt.has_value();
    table_.setGone(guid, how, raceRunning);
}

void EventModel::apply(const LogEvent& e) {
    const auto& f = e.fields;
    const int64_t at = stampMs(e.time);
    if (e.kind == "START") {
        track_ = f[0];
        note(e, "Server started at " + f[0]);
    } else if (e.kind == "SESSION") {
        if (session_.type >= 0) {
            finishedSession_ = session_;
            finishedTable_ = table_;
        }
        session_ = Session{.name = f[0],
                           .type = int(number(f[1])),
                           .advancedAt = at,
                           .waitMs = number(f[2]),
                           .lengthMs = number(f[8]),
                           .raceLaps = int(number(f[7]))};
        table_ = SessionTable(session_.type, session_.raceLaps);
        note(e, f[0] + " (" + tool::sessionTypeName(session_.type) + ") is next");
    } else if (e.kind == "SESSION_START") {
        session_.startedAt = at;
        finishedSession_.reset();
        note(e, session_.name + " has started");
    } else if (e.kind == "RACE_START") {
        note(e, "Race start");
    } else if (e.kind == "JOIN") {
        entrants_[f[4]] = Entrant{.name = f[0], .number = f[1]};
        table_.rejoined(f[4]);
        note(e, "#" + f[1] + " " + f[0] + " joins");
    } else if (e.kind == "LAP") {
        finishedSession_.reset();
        if (table_.addLap(f[0], at, int32_t(stampMs(f[1])), int32_t(stampMs(f[2]))))
            note(e, nameOf(f[0]) + ": best lap of the session, " + lapText(stampMs(f[1])));
    } else if (e.kind == "CHAT") {
        if (withChat_)
            note(e, nameOf(f[0]) + ": " + rest(f, 1));
    } else if (e.kind == "JUMPSTART") {
        table_.addPenalty(f[0], "jump start");
        note(e, "Jump start: " + nameOf(f[0]));
    } else if (e.kind == "PITSPEEDINFRACTION") {
        table_.addPenalty(f[0], "pit speed");
        note(e, "Speeding in the pit lane: " + nameOf(f[0]));
    } else if (e.kind == "CONTACT") {
        note(e, "Contact: " + nameOf(f[0]) + " and " + nameOf(f[1]));
    } else if (e.kind == "CONTACTWALL") {
        note(e, nameOf(f[0]) + " hits the wall");
    } else if (e.kind == "CARILLEGAL" || e.kind == "TRACKILLEGAL" || e.kind == "RVSILLEGAL") {
        const char* what = e.kind == "CARILLEGAL"     ? "car"
                           : e.kind == "TRACKILLEGAL" ? "track"
                                                      : "simulator";
        note(e, nameOf(f[0]) + ": " + what + " files differ from the server's");
    } else if (e.kind == "FLAG") {
        const std::string type = f[2], sector = f[1];
        note(e, type == "1" ? "Flag in sector " + sector + " (" + nameOf(f[0]) + ")"
                : type == "0"
                    ? "Sector " + sector + " clear (" + nameOf(f[0]) + ")"
                    : "Flag report " + type + " in sector " + sector + " (" + nameOf(f[0]) + ")");
    } else if (e.kind == "RACEEND") {
        session_.winner = f[0];
        table_.setWinner(f[0]);
        note(e, nameOf(f[0]) + " wins the race");
    } else if (e.kind == "DISCONNECTED") {
        gone(f[0], "left");
        note(e, nameOf(f[0]) + " disconnects");
    } else if (e.kind == "LOST") {
        gone(f[0], "left");
        note(e, nameOf(f[0]) + " has left");
    } else if (e.kind == "KICK") {
        gone(f[0], "kicked");
        note(e, nameOf(f[0]) + " kicked by " + f[2] + (f[3].empty() ? "" : ": " + rest(f, 3)));
    } else if (e.kind == "BAN") {
        gone(f[0], "banned");
        const std::string minutes = number(f[2]) > 0 ? " for " + f[2] + " min" : "";
        note(e, nameOf(f[0]) + " banned by " + f[1] + minutes +
                    (f[3].empty() ? "" : ": " + rest(f, 3)));
    } else if (e.kind == "UNBAN") {
        note(e, nameOf(f[0]) + " unbanned by " + f[1]);
    } else if (e.kind == "BANNED") {
        note(e, nameOf(f[0]) + " turned away (banned)" + (f[2].empty() ? "" : ": " + rest(f, 2)));
    }
}

ordered_json EventModel::takeFeed() {
    ordered_json out = ordered_json::array();
    out.swap(feed_);
    return out;
}

ordered_json EventModel::sessionJson(const Session& s) const {
    ordered_json j = {{"name", s.name},
                      {"type", s.type},
                      {"typeName", tool::sessionTypeName(s.type)},
                      {"phase", s.startedAt ? "running" : "waiting"},
                      {"startsAt", nullptr},
                      {"endsAt", nullptr},
                      {"raceLaps", s.raceLaps}};
    if (origin_ && !s.startedAt)
        j["startsAt"] = *origin_ + s.advancedAt + s.waitMs;
    if (origin_ && s.startedAt && s.type != 2)
        j["endsAt"] = *origin_ + *s.startedAt + s.lengthMs;
    if (s.type == 2 && !s.winner.empty())
        j["phase"] = "finishing";
    return j;
}

ordered_json EventModel::state() const {
    if (session_.type < 0)
        return {{"session", nullptr},
                {"final", false},
                {"leaderLaps", 0},
                {"standings", ordered_json::array()}};
    const bool showFinished = finishedSession_.has_value();
    const Session& s = showFinished ? *finishedSession_ : session_;
    const SessionTable& t = showFinished ? finishedTable_ : table_;
    ordered_json session = sessionJson(s);
    if (showFinished) {
        session["phase"] = "over";
        session["next"] = sessionJson(session_);
    }
    return {{"session", session},
            {"final", showFinished},
            {"leaderLaps", t.leaderLaps()},
            {"standings", t.rows(entrants_)}};
}

}  // namespace live
