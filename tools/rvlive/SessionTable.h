#pragma once
// One session's timing table as the event log tells it: every driver's laps with the time each
// was completed, last and best lap, the split of the last lap, and what race control noted
// (left, finished, jump start, pit-lane speeding). Races rank by laps and then by who completed
// that lap first; practice and qualifying by best lap.

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace live {

struct Entrant {
    std::string name;
    std::string number;  // the race number asked for when joining
};

class SessionTable {
  public:
    // `type` 0 practice, 1 qualifying, 2 race; `raceLaps` the race distance.
    SessionTable(int type = 0, int raceLaps = 0) : type_(type), raceLaps_(raceLaps) {}

    // A counted lap at server time `stamp`; returns true when it is the session's best so far.
    bool addLap(const std::string& guid, int64_t stamp, int32_t lapMs, int32_t splitMs);
    // "left", "retired", "kicked", "banned": the driver is no longer on track.
    void setGone(const std::string& guid, const std::string& how, bool raceRunning);
    // A driver back on the server is on track again.
    void rejoined(const std::string& guid);
    void addPenalty(const std::string& guid, const std::string& what);
    void setWinner(const std::string& guid);

    bool empty() const { return cars_.empty(); }
    int leaderLaps() const;
    // Rows in order: position, number, name, laps, gap, interval, last lap (with its mark "sb"
    // for the session best, "pb" for a personal best), best lap (marked "sb" for the session's
    // best), split, status and penalties.
    nlohmann::ordered_json rows(const std::map<std::string, Entrant>& entrants) const;

  private:
    struct Car {
        std::string guid;
        std::vector<int64_t> lapStamps = {};  // server time each lap was completed
        int32_t last = 0, best = 0, split = 0;
        size_t bestLapNo = 0;
        bool lastWasPersonalBest = false;
        bool finished = false;
        std::string gone = {};
        std::vector<std::string> penalties = {};
        int laps() const { return int(lapStamps.size()); }
    };
    Car& car(const std::string& guid);
    std::vector<const Car*> ordered() const;
    nlohmann::ordered_json behind(const Car& car, const Car& ahead) const;

    int type_;
    int raceLaps_;
    std::vector<Car> cars_;  // in the order of their first lap
    int32_t sessionBest_ = 0;
    std::string sessionBestGuid_;
};

}  // namespace live
