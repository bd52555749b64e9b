// The two ends of `make replay-check`: sets up a short event for a live server (which
// simulated drivers then run), and afterwards compares the live server's event log and results
// files with those rvreplay rebuilt from the recording.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "CheckEvent.h"

namespace fs = std::filesystem;

namespace {

// Lines a per-turn step writes (start-up, countdown, session advance, lost clients) carry the
// time of the turn that noticed them; every other line the time of the message that caused it.
const std::set<std::string> kTurnKinds = {"START", "SESSION", "SESSION_START", "RACE_START",
                                          "LOST"};
// The live loop rests 10 ms a turn while fewer than two clients are connected; a loaded host
// oversleeps a little.
constexpr int kTurnSpacingMs = 15;

int setup(const std::string& dir, int port) {
    for (const char* folder :
         {"cfg", "server/logs", "server/sessions", "server/users", "server/replay"})
        fs::create_directories(dir + "/" + folder);
    std::ofstream(dir + "/cfg/rvservercfg.ini", std::ios::binary) << checkEventConfig(
        {checkSession(0, 2, "Race", 3, 0, 2)}, {"PORT=" + std::to_string(port)});
    return 0;
}

std::vector<std::string> lines(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::vector<std::string> filesIn(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.size() > 4 && name.ends_with(".txt"))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

int toMs(const std::string& stamp) {
    int m = 0, s = 0, ms = 0;
    std::sscanf(stamp.c_str(), "%d:%d:%d", &m, &s, &ms);
    return (m * 60 + s) * 1000 + ms;
}

// Results files are named by the local time of saving; the session is what identifies them.
std::string sessionOf(const std::string& name) {
    std::string s = name.substr(0, name.size() - 4);
    for (int i = 0; i < 3; ++i)
        s = s.substr(0, s.rfind('_'));
    return s;
}

int compare(const std::string& dir, const std::string& replayed) {
    int failures = 0;
    const auto liveLogs = filesIn(dir + "/server/logs", "rvserverlog[");
    const auto replayLogs = filesIn(replayed, "rvserverlog[");
    if (liveLogs.size() != 1 || replayLogs.size() != 1) {
        std::printf("replay-check: expected one event log each, found %zu live, %zu replayed\n",
                    liveLogs.size(), replayLogs.size());
        return 1;
    }
    const auto live = lines(dir + "/server/logs/" + liveLogs[0]);
    const auto again = lines(replayed + "/" + replayLogs[0]);
    int moved = 0, widest = 0;
    for (size_t i = 0; i < std::max(live.size(), again.size()); ++i) {
        const std::string a = i < live.size() ? live[i] : "(none)";
        const std::string b = i < again.size() ? again[i] : "(none)";
        const size_t ca = a.find(','), cb = b.find(',');
        const std::string text = ca == std::string::npos ? a : a.substr(ca + 1);
        const int apart = std::abs(toMs(a) - toMs(b));
        const bool sameText =
            ca != std::string::npos && cb != std::string::npos && text == b.substr(cb + 1);
        const bool turnLine = kTurnKinds.count(text.substr(0, text.find(','))) != 0;
        if (sameText && (apart == 0 || (turnLine && apart <= kTurnSpacingMs))) {
            moved += apart != 0;
            widest = std::max(widest, apart);
            continue;
        }
        std::printf("replay-check: event log line %zu differs:\n  live     %s\n  replayed %s\n",
                    i + 1, a.c_str(), b.c_str());
        ++failures;
    }
    std::printf(
        "replay-check: event log, %zu lines: %d with time stamps apart, by %d ms at most "
        "(allowed %d ms, the live loop's turn spacing, for lines a per-turn step writes)\n",
        live.size(), moved, widest, kTurnSpacingMs);

    const auto liveResults = filesIn(dir + "/server/sessions", "");
    const auto replayResults = filesIn(replayed, "");
    for (const std::string& name : liveResults) {
        std::string match;
        for (const std::string& other : replayResults)
            if (sessionOf(other) == sessionOf(name))
                match = other;
        const auto a = lines(dir + "/server/sessions/" + name);
        const bool same = !match.empty() && a == lines(replayed + "/" + match);
        std::printf("replay-check: results %s, %zu lines: %s\n", sessionOf(name).c_str(), a.size(),
                    same            ? "equal"
                    : match.empty() ? "not replayed"
                                    : "DIFFERENT");
        failures += same ? 0 : 1;
    }
    if (liveResults.empty()) {
        std::printf("replay-check: the live server wrote no results file\n");
        ++failures;
    }
    std::printf("replay-check: %s\n", failures == 0 ? "passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 3 && a[0] == "setup")
        return setup(a[1], std::stoi(a[2]));
    if (a.size() == 3 && a[0] == "compare")
        return compare(a[1], a[2]);
    std::fprintf(stderr, "usage: replay_check setup DIR PORT | compare DIR REPLAYED\n");
    return 2;
}
