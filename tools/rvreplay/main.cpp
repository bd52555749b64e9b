// rvreplay: rebuilds an event's log, results and standings from its recording, offline and at
// full speed; for when the server died mid-event, and as a check that a replay decides what the
// live server decided.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>

#include "runtime/CRVServer.h"
#include "rvreplay/Replay.h"
#include "rvreplay/StandingsText.h"
#include "transport/CTimer.h"

namespace {

constexpr int kBadInput = 1;
constexpr int kUsage = 2;

// "M:SS" of server time; up to 9999 minutes, about a week.
bool parseUntil(const std::string& text, uint32_t& ms) {
    std::smatch m;
    if (!std::regex_match(text, m, std::regex(R"((\d{1,4}):([0-5]\d))")))
        return false;
    ms = uint32_t(std::stoul(m[1]) * 60 + std::stoul(m[2])) * 1000;
    return true;
}

std::string clockText(uint32_t ms) {
    const uint32_t s = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u", s / 60, s % 60);
    return text;
}

// A bar redrawn in place on a terminal; a plain line every tenth otherwise.
class Progress {
  public:
    explicit Progress(uint64_t total) : total_(total), terminal_(::isatty(2) != 0) {}
    void show(uint64_t done, uint32_t serverTime) {
        const int percent = total_ == 0 ? 100 : int(done * 100 / total_);
        if (terminal_) {
            const int filled = percent * 40 / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%% %s", std::string(size_t(filled), '#').c_str(),
                         std::string(size_t(40 - filled), ' ').c_str(), percent,
                         clockText(serverTime).c_str());
        } else if (percent / 10 > lastTenth_) {
            lastTenth_ = percent / 10;
            std::fprintf(stderr, "rvreplay: %d%% (%llu messages, server time %s)\n", percent,
                         static_cast<unsigned long long>(done), clockText(serverTime).c_str());
        }
    }
    void end() {
        if (terminal_)
            std::fputc('\n', stderr);
    }

  private:
    uint64_t total_;
    bool terminal_;
    int lastTenth_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Replays a recorded event offline with the server's own code and rewrites its event log "
        "and results files."};
    ReplayOptions options;
    std::string until;
    app.add_option("--dir", options.workdir, "the server's working folder (WORKDIR)")->required();
    app.add_option("--recording", options.recording,
                   "the recording to replay (default WORKDIR/server/replay/out.rvsr)");
    app.add_option("--out", options.out,
                   "where the event log, results files, statistics and the server's console "
                   "(console.txt) go (default WORKDIR/server/replayed/)");
    app.add_option("--until", until, "stop at this server time, M:SS, and show the standings");
    app.footer(
        "The configuration is read from WORKDIR/cfg/ as it is now: if it has changed since the "
        "recording was made, the replay follows the changed one.\n"
        "Recorded clients are admitted, timed out after 60 s of silence and removed as on the "
        "live server. Nothing is sent on the network.\n"
        "Exit status: 0 replayed, 1 bad working folder or recording, 2 usage.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "rvreplay: %s (see --help)\n", e.what());
        return kUsage;
    }
    if (!until.empty()) {
        uint32_t ms = 0;
        if (!parseUntil(until, ms)) {
            std::fprintf(stderr, "rvreplay: --until wants M:SS, not \"%s\"\n", until.c_str());
            return kUsage;
        }
        options.until = ms;
    }

    Replay replay(options);
    if (!replay.prepare()) {
        std::fprintf(stderr, "rvreplay: %s\n", replay.error().c_str());
        return kBadInput;
    }
    if (!replay.scan().damage.empty())
        std::fprintf(stderr, "rvreplay: the recording %s; replaying the %llu messages before\n",
                     replay.scan().damage.c_str(),
                     static_cast<unsigned long long>(replay.scan().messages));

    // The server's console goes to a file beside the results; ours stays on the terminal.
    std::fflush(stdout);
    const int terminal = ::dup(1);
    if (std::freopen((replay.outFolder() + "console.txt").c_str(), "w", stdout) == nullptr) {
        std::fprintf(stderr, "rvreplay: cannot write %sconsole.txt\n", replay.outFolder().c_str());
        return kBadInput;
    }
    Progress progress(replay.scan().messages);
    const auto began = std::chrono::steady_clock::now();
    replay.run([&](uint64_t done) { progress.show(done, replay.endTime()); });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    progress.end();
    const std::string standings = standingsText(replay.server());
    std::fflush(stdout);
    ::dup2(terminal, 1);

    std::fprintf(stderr, "rvreplay: %llu messages, %s of server time, in %.2f s: %.0f messages/s\n",
                 static_cast<unsigned long long>(replay.messages()),
                 clockText(replay.endTime()).c_str(), seconds,
                 seconds > 0 ? double(replay.messages()) / seconds : 0.0);
    if (options.until && replay.endTime() < *options.until)
        std::fprintf(stderr, "rvreplay: the recording ends at %s, before %s\n",
                     clockText(replay.endTime()).c_str(), until.c_str());
    std::fprintf(stderr, "rvreplay: event log and results in %s\n", replay.outFolder().c_str());
    std::fputs(standings.c_str(), stdout);
    return 0;
}
