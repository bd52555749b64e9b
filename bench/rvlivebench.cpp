// rvlivebench: rvlive with many stream viewers of one event. An event folder without a server
// gets a timing update every second (one lap for each of 20 drivers); first no viewer watches
// (the baseline), then VIEWERS streams do. Reports rvlive's CPU in both windows, the time from
// rvlive reading an update to each viewer receiving it (p50, p99, max), updates missed, viewers
// dropped, and resident memory per viewer.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/Cli.h"
#include "common/Process.h"
#include "rvbot/LoadReport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDrivers = 20;

int64_t wallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string stamp(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%03lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

struct Viewer {
    int fd = -1;
    std::string buffer;
    int updates = 0;
    bool closed = false;
};

// The event: its configuration and a log that gains one lap per driver every second.
struct Event {
    explicit Event(const std::string& root) : root(root) {
        fs::create_directories(root + "/cfg");
        fs::create_directories(root + "/server/logs");
        std::ofstream(root + "/cfg/rvservercfg.ini") << measuredEventConfig(freePort());
        std::string text =
            "0:00:001,START,bench,short,gt3\n"
            "0:00:002,SESSION,Practice,0,0,1,0,0,0,0,36000000\n"
            "0:00:003,SESSION_START\n";
        for (int d = 0; d < kDrivers; ++d)
            text += "0:00:010,JOIN,Driver " + std::to_string(d) + "," + std::to_string(d + 1) +
                    ",Team,gt3,bench-" + std::to_string(d) + ",GB\n";
        append(text);
    }
    void lapRound() {
        ++round;
        std::string text;
        for (int d = 0; d < kDrivers; ++d) {
            const int64_t lap = 90000 + d * 137 + (round * 7919 + d * 31) % 900;
            text += stamp(round * 1000 + d) + ",LAP,bench-" + std::to_string(d) + "," + stamp(lap) +
                    "," + stamp(lap / 2) + "," + std::to_string(round) + "\n";
        }
        append(text);
    }
    void append(const std::string& text) const {
        std::ofstream(root + "/server/logs/rvserverlog[01_01_00_00].txt", std::ios::app) << text;
    }
    std::string root;
    int round = 0;
};

int connectViewer(uint16_t port, const std::string& path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
    if (::send(fd, request.data(), request.size(), 0) != ssize_t(request.size())) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

// Reads what arrived; each whole update (a plain message, not the snapshot) adds its delay. Only
// the "readAt" field is looked at, so that the measuring side's own work stays small.
void readViewer(Viewer& v, std::vector<double>& delays) {
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(v.fd, chunk, sizeof chunk, 0);
        if (n == 0)
            v.closed = true;
        if (n <= 0)
            break;
        v.buffer.append(chunk, size_t(n));
    }
    const int64_t now = wallMs();
    for (size_t end; (end = v.buffer.find("\n\n")) != std::string::npos;) {
        const std::string block = v.buffer.substr(0, end);
        v.buffer.erase(0, end + 2);
        const size_t at = block.find("\"readAt\":");
        if (at == std::string::npos || block.find("event: snapshot") != std::string::npos)
            continue;
        ++v.updates;
        delays.push_back(double(now - std::strtoll(block.c_str() + at + 9, nullptr, 10)));
    }
}

struct Window {
    double cpuPercent = 0;
    long rssKiB = 0;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Measures rvlive with many stream viewers of one event.", "rvlivebench"};
    std::string rvlive = "build/rvlive", out;
    int viewers = 500;
    int seconds = 30;
    app.add_option("--rvlive", rvlive, "the rvlive program")->capture_default_str();
    app.add_option("--viewers", viewers, "stream viewers")->capture_default_str();
    app.add_option("--seconds", seconds, "length of each window")->capture_default_str();
    app.add_option("--out", out, "also write the report to this file");
    if (int code = tool::parse(app, argc, argv); code >= 0)
        return code;
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    char pattern[] = "/tmp/rvlivebench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return tool::fail("rvlivebench", "no temp folder");
    const std::string scratch = pattern;
    Event event(scratch + "/event");
    const uint16_t port = freePort();
    const pid_t pid = launch(scratch, {fs::absolute(rvlive).string(), "--dir", event.root, "--port",
                                       std::to_string(port)});
    std::this_thread::sleep_for(std::chrono::seconds(1));

    std::vector<double> delays;
    std::vector<Viewer> watching;
    // One window: a lap round every second, the viewers read as updates come.
    auto window = [&](bool withViewers) {
        ProcessSample from{}, to{};
        sampleProcess(pid, from);
        const int64_t end = wallMs() + seconds * 1000;
        int64_t nextRound = wallMs();
        while (wallMs() < end) {
            if (wallMs() >= nextRound) {
                event.lapRound();
                nextRound += 1000;
            }
            std::vector<pollfd> fds;
            for (const Viewer& v : watching)
                fds.push_back({v.fd, POLLIN, 0});
            ::poll(fds.data(), fds.size(), 20);
            for (size_t i = 0; i < fds.size(); ++i)
                if (fds[i].revents != 0 && withViewers)
                    readViewer(watching[i], delays);
        }
        sampleProcess(pid, to);
        return Window{cpuPercent(from, to), to.rssKiB};
    };

    const Window baseline = window(false);
    const std::string path = "/e/event/events";
    for (int i = 0; i < viewers; ++i) {
        Viewer v;
        v.fd = connectViewer(port, path);
        if (v.fd >= 0)
            watching.push_back(std::move(v));
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    for (Viewer& v : watching) {
        std::vector<double> ignored;
        readViewer(v, ignored);
        v.updates = 0;
    }
    ProcessSample connected{};
    sampleProcess(pid, connected);
    const int roundsBefore = event.round;
    const Window loaded = window(true);
    const int rounds = event.round - roundsBefore;
    int dropped = 0, missing = 0;
    for (Viewer& v : watching) {
        dropped += v.closed ? 1 : 0;
        missing += std::max(0, rounds - 1 - v.updates);
        ::close(v.fd);
    }
    stop(pid);
    fs::remove_all(scratch);

    const Distribution d = distributionOf(delays);
    char when[32];
    const std::time_t t = std::time(nullptr);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", std::gmtime(&t));
    std::string load;
    std::getline(std::ifstream("/proc/loadavg"), load);
    char report[2048];
    std::snprintf(
        report, sizeof report,
        "rvlivebench, %s UTC\nmachine: %s (load average at the end: %s)\n"
        "load: one event, %d drivers, one lap each per second (one update a second), %d s per "
        "window; viewers read over loopback\n\n"
        "window            viewers   cpu %%   rss KiB\n"
        "baseline                0  %6.2f  %8ld\n"
        "streaming         %7zu  %6.2f  %8ld\n\n"
        "read -> viewer ms  p50 %.0f / p99 %.0f / max %.0f over %zu deliveries (ms clock)\n"
        "updates missed by viewers: %d, viewers dropped: %d\n"
        "memory per viewer: %.1f KiB (rss with viewers connected minus baseline, divided)\n",
        when, machineDescription().c_str(), load.substr(0, load.find(' ', 10)).c_str(), kDrivers,
        seconds, baseline.cpuPercent, baseline.rssKiB, watching.size(), loaded.cpuPercent,
        loaded.rssKiB, d.p50, d.p99, d.max, d.count, missing, dropped,
        watching.empty() ? 0.0
                         : double(connected.rssKiB - baseline.rssKiB) / double(watching.size()));
    std::fputs(report, stdout);
    if (!out.empty())
        std::ofstream(out) << report;
    return 0;
}
