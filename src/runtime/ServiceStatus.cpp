#include "runtime/ServiceStatus.h"

#include <algorithm>
#include <limits>

#include "admission/CRVClientConnection.h"
#include "runtime/CRVServer.h"

namespace {

std::string drivers(int n) {
    return std::to_string(n) + (n == 1 ? " driver" : " drivers");
}

const char* sessionWord(int type) {
    return type == kPractice ? "Practice" : type == kQualifying ? "Qualifying" : "Race";
}

}  // namespace

std::string serviceStatusLine(const CRVServer& server) {
    int present = 0;
    int running = 0;
    for (const CRVClientConnection* c : server.clients)
        if (!c->isSpectator) {
            ++present;
            running += c->finished || c->retiredFlagSeen ? 0 : 1;
        }
    const int index = server.currentSession;
    std::string line;
    if (server.sequenceFinished || index < 0 || size_t(index) >= server.sessions.size()) {
        line = "Finished, " + drivers(present);
    } else {
        const SessionRecord& s = server.sessions[size_t(index)];
        const int64_t now = server.serverTime;
        const int64_t start = int64_t(s.startTime);
        line = sessionWord(s.type);
        if (!s.started) {
            line += ", starts in " +
                    std::to_string((std::max<int64_t>(start - now, 0) + 999) / 1000) + " s, " +
                    drivers(present);
        } else if (s.type == kRace) {
            const int lap = std::min(server.race.leaderLaps + 1, int(s.raceLaps));
            line += ", lap " + std::to_string(lap) + " of " + std::to_string(s.raceLaps) + ", " +
                    std::to_string(running) + " of " + drivers(present);
        } else {
            const int64_t left = start + s.sessionTime - now;
            line += left > 0 ? ", " + std::to_string((left + 59999) / 60000) + " min left, "
                             : std::string(", over, ");
            line += drivers(present);
        }
    }
    return server.draining.active ? "Closing: " + line : line;
}

void ServiceStatus::ready() {
    notify_.send("READY=1");
}

void ServiceStatus::turn(const CRVServer& server, int64_t now) {
    if (!notify_.active())
        return;
    const int64_t watchdog = notify_.watchdogMs();
    if (watchdog > 0 && now - lastBeatAt_ >= watchdog / 2) {
        lastBeatAt_ = now;
        notify_.send("WATCHDOG=1");
    }
    if (now - lastStatusAt_ < kStatusEveryMs)
        return;
    std::string line = serviceStatusLine(server);
    if (line == lastStatus_)
        return;
    lastStatusAt_ = now;
    notify_.send("STATUS=" + line);
    lastStatus_ = std::move(line);
}

void ServiceStatus::stopping() {
    notify_.send("STOPPING=1");
}

int64_t ServiceStatus::nextBeatAt() const {
    const int64_t watchdog = notify_.watchdogMs();
    if (!notify_.active() || watchdog <= 0)
        return std::numeric_limits<int64_t>::max();
    return lastBeatAt_ + watchdog / 2;
}
