// rvlive: live timing for every event on the host. Each event's page and the host's index are fed
// by server-sent events built from the event logs the servers write and from their status
// answers; /live.json and /index.json serve the same to scripts.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <cstdio>
#include <thread>

#include "common/Asker.h"
#include "common/Cli.h"
#include "rvlive/LiveHost.h"
#include "rvleague/Pages.h"
#include "rvlive/Routes.h"

namespace {

constexpr char kProgram[] = "rvlive";
constexpr int kStatusWaitMs = 300;
constexpr int kTurnMs = 100;
constexpr int kRescanMs = 2000;
constexpr int kStatusEveryMs = 2000;
// Threads beyond the streams' for pages, assets and JSON.
constexpr int kSpareThreads = 32;

std::atomic<bool> stopping{false};

void stop(int) {
    stopping = true;
}

int64_t wallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Sleeps `ms` in short steps; false once rvlive is stopping.
bool pause(int ms) {
    for (int slept = 0; slept < ms && !stopping; slept += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !stopping;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Serves live timing for the events on this host: an index of every event (session, time "
        "left, drivers, whether its server answers) and one page per event (timing table, gaps "
        "and intervals, race-control feed), pushed to the browser as server-sent events.\n"
        "Each event's log is read every 100 ms; each server is asked for its status every 2 s "
        "and waited for at most 300 ms.\n"
        "Exit codes: 0 stopped by SIGTERM or SIGINT, 1 cannot listen, 2 usage.",
        kProgram};
    std::vector<std::string> dirs, instances;
    int port = 8080;
    std::string bind = "127.0.0.1";
    live::LiveOptions options;
    int delaySeconds = 0;
    live::StreamLimits limits{.wallMs = wallMs};
    app.add_option("--dir", dirs, "an event's working directory (may be given several times)");
    app.add_option("--instances", instances,
                   "a folder of event folders, each with cfg/rvservercfg.ini; looked at again "
                   "every 2 s (may be given several times)");
    app.add_option("--port", port, "the page's TCP port (default 8080)")
        ->check(CLI::Range(1, 65535));
    app.add_option("--bind", bind, "the address to listen on (default 127.0.0.1)");
    app.add_option("--server", options.server,
                   "HOST:PORT of the race server, with a single --dir (default 127.0.0.1 and the "
                   "PORT of the event's configuration)");
    app.add_option("--delay", delaySeconds,
                   "broadcast delay: every update is held back this many seconds (0-300)")
        ->check(CLI::Range(0, 300));
    std::string db;
    app.add_option("--db", db,
                   "a league database (sqlite:PATH or postgresql://...): its pages under /league/");
    app.add_flag("--chat", options.chat, "show the drivers' chat in the race-control feed");
    app.add_option("--max-viewers", limits.maxViewers,
                   "open streams at most; more are refused with 503 (default 1000)")
        ->check(CLI::Range(1, 1000));
    if (int code = tool::parse(app, argc, argv); code >= 0)
        return code;
    if (dirs.empty() && instances.empty())
        return tool::fail(kProgram,
                          "name an event with --dir or a folder of events with "
                          "--instances");
    if (!options.server.empty() && (dirs.size() != 1 || !instances.empty()))
        return tool::fail(kProgram, "--server goes with a single --dir");
    options.delayMs = int64_t(delaySeconds) * 1000;

    live::LiveHost host(dirs, instances, options, wallMs);
    host.update();
    live::Viewers viewers;
    httplib::Server http;
    const int threads = limits.maxViewers + kSpareThreads;
    http.new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    // Address reuse only: with the port shared, a second rvlive would take half of the viewers of
    // the first instead of failing to start.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // A viewer whose socket has stayed full this long is dropped.
    http.set_write_timeout(5, 0);
    live::addLiveRoutes(http, host, limits, viewers);
    // The league's pages beside the live ones, from the league database.
    std::unique_ptr<Repository> league;
    if (!db.empty()) {
        try {
            league = openRepository(db);
        } catch (const std::exception& e) {
            return tool::fail(kProgram, e.what());
        }
        addLeagueRoutes(http, *league);
    }
    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);
    std::signal(SIGPIPE, SIG_IGN);
    if (!http.bind_to_port(bind, port))
        return tool::fail(kProgram, "cannot listen on " + bind + ":" + std::to_string(port));
    std::printf("rvlive: http://%s:%d/ for %zu event(s)\n", bind.c_str(), port,
                host.events().size());
    std::fflush(stdout);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    std::thread turns([&] {
        uint64_t dropsShown = 0;
        for (int sinceRescan = 0; pause(kTurnMs); sinceRescan += kTurnMs) {
            if (sinceRescan >= kRescanMs) {
                host.rescan();
                sinceRescan = 0;
                // Counted, and said at most once a rescan, however many go at once.
                if (const uint64_t drops = viewers.slowDropped; drops != dropsShown) {
                    std::printf("rvlive: %llu slow viewers dropped so far\n",
                                static_cast<unsigned long long>(drops));
                    dropsShown = drops;
                }
            }
            host.update();
        }
        host.close();
        http.stop();
    });
    std::thread statuses([&] {
        tool::Asker asker;
        do
            host.askStatuses(asker, kStatusWaitMs);
        while (pause(kStatusEveryMs));
    });
    http.listen_after_bind();
    stopping = true;
    turns.join();
    statuses.join();
    return tool::kOk;
}
