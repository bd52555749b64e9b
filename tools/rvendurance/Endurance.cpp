#include "rvendurance/Endurance.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "CheckEvent.h"
#include "common/EventFiles.h"
#include "runtime/CRVServer.h"
#include "runtime/NextWake.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kHourMs = 3600 * 1000;
// Once everyone has signed off: long enough for reliable copies nobody acknowledges to be given
// up and for the last clean-ups to run.
constexpr uint32_t kWindDownMs = 5 * 60 * 1000;
constexpr int64_t kResidentGrowthKiB = 1024;
// Under AddressSanitizer freed memory waits in quarantine and resident size says nothing of the
// server's own; there the leak check at exit speaks instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMeaningful = false;
#else
constexpr bool kResidentMeaningful = true;
#endif

// A practice, a qualifying and a race of 8 laps, the race looped: over a hundred sessions a day.
std::string eventConfig(const EnduranceCast& cast) {
    return checkEventConfig(
        {checkSession(0, 0, "Practice", 30, 10), checkSession(1, 1, "Qualifying", 30, 10),
         checkSession(2, 2, "Race", 60, 0, 8)},
        {"MAXCLIENTS=" + std::to_string(cast.drivers + cast.spectators), "NAME=Endurance",
         "CAR=gt1;", "LOOP=1", "WINNERBALLAST=20"});
}

int64_t residentKiB() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Files are named by local time; the event starts on a fixed day so names never depend on when
// the run happens.
std::string virtualLocalTime(uint32_t nowMs, const char* format) {
    std::tm start{};
    start.tm_year = 126;
    start.tm_mon = 5;
    start.tm_mday = 6;
    start.tm_hour = 12;
    start.tm_sec = int(nowMs / 1000);
    std::mktime(&start);
    char text[64] = {};
    std::strftime(text, sizeof text, format, &start);
    return text;
}

void checkFiles(const std::string& folder, EnduranceFigures& figures) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder + "server/sessions", ec)) {
        ResultsFile results;
        std::string error;
        ++figures.resultsFiles;
        if (!readResultsFile(entry.path().string(), results, error))
            figures.failures.push_back("results file does not parse: " + error);
    }
    const std::string log = newestEventLog(folder + "server/logs");
    std::vector<LogEvent> events;
    std::string error;
    if (log.empty() || !readEventLog(log, events, error)) {
        figures.failures.push_back("event log does not parse: " + (log.empty() ? "none" : error));
        return;
    }
    figures.sessionsStarted = int(std::count_if(
        events.begin(), events.end(), [](const LogEvent& e) { return e.kind == "SESSION"; }));
}

}  // namespace

std::vector<std::string> listsOverBound(const CRVServer& server) {
    std::vector<std::string> over;
    auto bound = [&](const char* what, size_t size, size_t most) {
        if (size > most)
            over.push_back(std::string(what) + " holds " + std::to_string(size) + ", bound " +
                           std::to_string(most));
    };
    bound("client list", server.clients.size(), 0);
    bound("removed clients", server.removedClients.size(), 0);
    bound("ranking list", server.rankingList.size(), 0);
    bound("qualifying list", server.qualifyList.size(), 0);
    bound("voters", server.vote.voters.size(), 0);
    bound("track flags", server.flags.activeFlags.size(), TrackFlags::kMaxActiveFlags);
    bound("outgoing queue", server.router.queue.size(), 0);
    bound("reliable copies", server.router.socket.pending().size(), 0);
    bound("answer budget addresses", server.limits.answerBudget.addresses(),
          AddressBudget::kMaxAddresses);
    bound("password guard addresses", server.limits.passwordGuard.sources(),
          PasswordGuard::kMaxSources);
    bound("start points",
          server.startPoints.gridPoints.size() + server.startPoints.boxPoints.size() +
              server.startPoints.pitPoints.size(),
          3 * 16);
    return over;
}

EnduranceFigures runEndurance(const EnduranceOptions& options,
                              const std::function<void(const EnduranceFigures&)>& progress) {
    EnduranceFigures figures;
    std::string folder = options.folder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    std::error_code ec;
    fs::remove_all(folder, ec);
    for (const char* sub : {"cfg", "server/logs", "server/users", "server/sessions"})
        fs::create_directories(folder + sub);
    std::ofstream(folder + "cfg/rvservercfg.ini", std::ios::binary) << eventConfig(options.cast);

    EnduranceEvent event(options.cast);
    ManualClock clock(0);
    ServerEnvironment env;
    env.clock = &clock;
    env.root = folder;
    env.localTime = [&clock](const char* format) { return virtualLocalTime(clock.now(), format); };
    env.feed = &event;
    CRVServer server(env);
    server.loadConfiguration();
    server.initialize();

    const auto wallStart = std::chrono::steady_clock::now();
    const uint32_t end = uint32_t(options.hours * kHourMs);
    const uint32_t baselineAt = std::min(kHourMs, end / 2);
    uint32_t nextHour = kHourMs;
    bool baselineTaken = false;
    bool closed = false;
    uint32_t t = 0;
    for (;;) {
        clock.set(t);
        event.setNow(t);
        server.update();
        ++figures.turns;
        if (!baselineTaken && t >= baselineAt) {
            baselineTaken = true;
            figures.firstHourResidentKiB = residentKiB();
        }
        if (!closed && t >= end) {
            closed = true;
            event.closeDoors();
        }
        if (closed && t >= end + kWindDownMs)
            break;
        figures.simulatedHours = double(t) / kHourMs;
        figures.wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        if (t >= nextHour) {
            nextHour += kHourMs;
            figures.counts = event.counts();
            if (progress)
                progress(figures);
        }
        // As the live loop: at once while messages wait to leave (a turn is taken to last a
        // millisecond), otherwise to whatever comes first, a datagram or a timed step.
        uint32_t next = t + 1;
        if (server.router.queue.empty()) {
            const int64_t wake = nextWakeTime(server, server.serverTime, t);
            next = uint32_t(std::max<int64_t>(
                t + 1, std::min<int64_t>(int64_t(event.nextTime()),
                                         int64_t(t) + (wake - server.serverTime))));
        }
        t = next;
    }
    figures.endResidentKiB = residentKiB();
    figures.counts = event.counts();
    figures.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    if (kResidentMeaningful &&
        figures.endResidentKiB - figures.firstHourResidentKiB > kResidentGrowthKiB)
        figures.failures.push_back("resident memory grew from " +
                                   std::to_string(figures.firstHourResidentKiB) + " KiB to " +
                                   std::to_string(figures.endResidentKiB) + " KiB");
    for (const std::string& line : listsOverBound(server))
        figures.failures.push_back(line);
    server.shutdown();
    checkFiles(folder, figures);
    return figures;
}
