#include "rvlive/SessionTable.h"

#include <algorithm>

#include "rvlive/TimeText.h"

using nlohmann::ordered_json;

namespace live {

SessionTable::Car& SessionTable::car(const std::string& guid) {
    auto it =
        std::find_if(cars_.begin(), cars_.end(), [&](const Car& c) { return c.guid == guid; });
    if (it == cars_.end())
        it = cars_.insert(cars_.end(), Car{.guid = guid});
    return *it;
}

bool SessionTable::addLap(const std::string& guid, int64_t stamp, int32_t lapMs, int32_t splitMs) {
    Car& c = car(guid);
    c.lapStamps.push_back(stamp);
    c.last = lapMs;
    c.split = splitMs;
    c.lastWasPersonalBest = lapMs > 0 && (c.best == 0 || lapMs < c.best);
    if (c.lastWasPersonalBest) {
        c.best = lapMs;
        c.bestLapNo = c.lapStamps.size();
    }
    if (type_ == 2 && raceLaps_ > 0 && c.laps() >= raceLaps_)
        c.finished = true;
    if (!c.lastWasPersonalBest || (sessionBest_ != 0 && lapMs >= sessionBest_))
        return false;
    sessionBest_ = lapMs;
    sessionBestGuid_ = guid;
    return true;
}

void SessionTable::setGone(const std::string& guid, const std::string& how, bool raceRunning) {
    for (Car& c : cars_)
        if (c.guid == guid && c.gone.empty())
            c.gone = how == "left" && raceRunning && !c.finished ? "retired" : how;
}

void SessionTable::rejoined(const std::string& guid) {
    for (Car& c : cars_)
        if (c.guid == guid)
            c.gone.clear();
}

void SessionTable::addPenalty(const std::string& guid, const std::string& what) {
    Car& c = car(guid);
    if (std::find(c.penalties.begin(), c.penalties.end(), what) == c.penalties.end())
        c.penalties.push_back(what);
}

void SessionTable::setWinner(const std::string& guid) {
    car(guid).finished = true;
}

int SessionTable::leaderLaps() const {
    int laps = 0;
    for (const Car& c : cars_)
        laps = std::max(laps, c.laps());
    return laps;
}

std::vector<const SessionTable::Car*> SessionTable::ordered() const {
    std::vector<const Car*> order;
    for (const Car& c : cars_)
        order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), [this](const Car* a, const Car* b) {
        if (type_ == 2) {
            if (a->laps() != b->laps())
                return a->laps() > b->laps();
            return a->laps() > 0 && a->lapStamps.back() < b->lapStamps.back();
        }
        if ((a->best > 0) != (b->best > 0))
            return a->best > 0;
        return a->best < b->best;
    });
    return order;
}

// Behind `ahead` as of the car's own latest crossing: whole laps when `ahead` had already
// completed more laps by then, else the time between their crossings of that same lap.
ordered_json SessionTable::behind(const Car& c, const Car& ahead) const {
    if (type_ != 2) {
        if (c.best <= 0 || ahead.best <= 0)
            return nullptr;
        return gapText(c.best - ahead.best);
    }
    if (c.laps() == 0)
        return nullptr;
    const int64_t at = c.lapStamps.back();
    const int aheadThen = int(std::upper_bound(ahead.lapStamps.begin(), ahead.lapStamps.end(), at) -
                              ahead.lapStamps.begin());
    if (aheadThen > c.laps())
        return lapsBehindText(aheadThen - c.laps());
    if (ahead.laps() < c.laps())
        return nullptr;
    return gapText(at - ahead.lapStamps[size_t(c.laps() - 1)]);
}

ordered_json SessionTable::rows(const std::map<std::string, Entrant>& entrants) const {
    ordered_json rows = ordered_json::array();
    const std::vector<const Car*> order = ordered();
    for (size_t i = 0; i < order.size(); ++i) {
        const Car& c = *order[i];
        const bool holdsBest = !sessionBestGuid_.empty() && c.guid == sessionBestGuid_;
        std::string lastMark;
        if (holdsBest && c.bestLapNo == c.lapStamps.size())
            lastMark = "sb";
        else if (c.lastWasPersonalBest)
            lastMark = "pb";
        auto who = entrants.find(c.guid);
        std::string status = c.gone;
        if (status.empty() && c.finished)
            status = "finished";
        rows.push_back({{"position", i + 1},
                        {"number", who == entrants.end() ? "" : who->second.number},
                        {"name", who == entrants.end() ? c.guid : who->second.name},
                        {"laps", c.laps()},
                        {"gap", i == 0 ? ordered_json(nullptr) : behind(c, *order.front())},
                        {"interval", i == 0 ? ordered_json(nullptr) : behind(c, *order[i - 1])},
                        {"lastLap", lapText(c.last)},
                        {"lastMark", lastMark},
                        {"bestLap", lapText(c.best)},
                        {"bestMark", holdsBest ? "sb" : ""},
                        {"split", lapText(c.split)},
                        {"status", status},
                        {"penalties", c.penalties}});
    }
    return rows;
}

}  // namespace live
