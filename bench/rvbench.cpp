// rvbench: the server against the reference relay under the same simulated load, in one run.
// For each driver count it starts the server in a fresh working folder (a copy of the demo
// event with room for 32 clients and one long practice), runs the drivers with load stamps,
// samples the process over the measured window, and does the same with the relay.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "BenchTable.h"
#include "common/Cli.h"
#include "common/Process.h"
#include "rvbot/BotFleet.h"

namespace fs = std::filesystem;

namespace {

struct Settings {
    std::string server = "build/rvserver";
    std::string relay = "build/rvrelay";
    std::string demo = "demo";
    std::string out = "bench/results";
    std::string label = "latest";
    std::vector<int> points{0, 1, 2, 8, 16, 32};
    std::vector<int> events{4, 8, 16};
    double seconds = 20;
    double rate = 60;
};

// The server (in a fresh copy of the demo event with room for 32 clients and one long
// practice) or the relay, started on a free port and answering.
struct Target {
    fs::path folder;
    uint16_t port = 0;
    pid_t pid = 0;
};

enum class Kind { kServer, kRelay, kFloor };

Target startTarget(const Settings& s, const std::string& tag, Kind kind) {
    const bool relay = kind != Kind::kServer;
    Target t;
    t.folder = fs::temp_directory_path() / ("rvbench-" + std::to_string(::getpid()) + "-" + tag);
    fs::remove_all(t.folder);
    t.port = freePort();
    std::vector<std::string> argv;
    if (relay) {
        fs::create_directories(t.folder);
        argv = {fs::absolute(s.relay).string(), "--port", std::to_string(t.port), "--seconds",
                std::to_string(int(s.seconds + 30))};
        if (kind == Kind::kFloor)
            argv.push_back("--batched");
    } else {
        fs::copy(s.demo, t.folder, fs::copy_options::recursive);
        std::ofstream(t.folder / "cfg/rvservercfg.ini", std::ios::binary)
            << measuredEventConfig(t.port);
        argv = {fs::absolute(s.server).string()};
    }
    t.pid = launch(t.folder.string(), argv);
    // The server is up once it answers; the relay answers nobody, so it gets the same moment.
    if (relay)
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    else
        answersStatus(t.port, 5000);
    return t;
}

void stopTarget(const Target& t) {
    stop(t.pid);
    fs::remove_all(t.folder);
}

// `drivers` simulated drivers against a started target, sampled over the measured window.
Measured drive(const Settings& s, const Target& t, int drivers) {
    ProcessSample from, to;
    FleetOptions o;
    o.port = t.port;
    o.drivers = drivers;
    o.rateHz = s.rate;
    o.seconds = s.seconds;
    o.chatSeconds = 0;  // a steady load: updates, pings and laps only
    o.load = true;
    o.onWindowStart = [&] { sampleProcess(t.pid, from); };
    o.onWindowEnd = [&] { sampleProcess(t.pid, to); };
    Measured m;
    BotFleet fleet(o);
    std::string error;
    if (!fleet.open(error)) {
        m.load.failure = error;
    } else {
        m.load = fleet.run();
        m.cpuPercent = cpuPercent(from, to);
        m.wakeUpsPerSecond = wakeUpsPerSecond(from, to);
        m.rssKiB = to.rssKiB;
        m.rssGrowthKiB = to.rssKiB - from.rssKiB;
    }
    return m;
}

Measured measure(const Settings& s, int drivers, Kind kind) {
    const Target t = startTarget(s, std::to_string(drivers), kind);
    Measured m = drive(s, t, drivers);
    stopTarget(t);
    return m;
}

// `events` servers of 32 drivers each on this host at once, every fleet on its own thread.
HostRow measureHost(const Settings& s, int events) {
    std::vector<Target> servers;
    for (int i = 0; i < events; ++i)
        servers.push_back(startTarget(s, "host" + std::to_string(i), Kind::kServer));
    HostRow row;
    row.events = events;
    row.each.resize(size_t(events));
    std::vector<std::thread> fleets;
    for (int i = 0; i < events; ++i)
        fleets.emplace_back([&, i] { row.each[size_t(i)] = drive(s, servers[size_t(i)], 32); });
    for (std::thread& f : fleets)
        f.join();
    for (const Target& t : servers)
        stopTarget(t);
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    CLI::App app{"rvbench: rvserver against a minimal reference relay, same load, one run"};
    app.add_option("--server", s.server, "server binary")->capture_default_str();
    app.add_option("--relay", s.relay, "reference relay binary")->capture_default_str();
    app.add_option("--demo", s.demo, "demo event folder copied for each run")
        ->capture_default_str();
    app.add_option("--out", s.out, "folder for the table and the plot")->capture_default_str();
    app.add_option("--label", s.label, "name of the result files")->capture_default_str();
    app.add_option("--points", s.points, "driver counts")->check(CLI::Range(0, 32));
    app.add_option("--events", s.events, "host run: events of 32 drivers at once (0: none)")
        ->capture_default_str();
    app.add_option("--seconds", s.seconds, "measured window per point")
        ->check(CLI::Range(1.0, 600.0))
        ->capture_default_str();
    app.add_option("--rate", s.rate, "car updates per second per driver")->capture_default_str();
    if (const int code = tool::parse(app, argc, argv); code >= 0)
        return code;
    for (const std::string& binary : {s.server, s.relay}) {
        if (!fs::exists(binary)) {
            std::fprintf(stderr, "rvbench: %s not found (run make build)\n", binary.c_str());
            return 1;
        }
    }

    std::vector<BenchRow> rows;
    for (int drivers : s.points) {
        std::fprintf(stderr, "rvbench: %d drivers...\n", drivers);
        BenchRow row;
        row.drivers = drivers;
        row.server = measure(s, drivers, Kind::kServer);
        row.relay = measure(s, drivers, Kind::kRelay);
        row.floor = measure(s, drivers, Kind::kFloor);
        rows.push_back(row);
    }

    char when[64];
    std::time_t t = std::time(nullptr);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", std::localtime(&t));
    char load[200];
    std::snprintf(load, sizeof load,
                  "load: %.0f car updates/s per driver, pings 1/s, loopback, %.0f s window per "
                  "point after admission\n",
                  s.rate, s.seconds);
    std::string heading = "rvbench " + s.label + ", " + when +
                          "\nmachine: " + machineDescription() + "\n" + load +
                          "cpu and wake-ups from /proc/PID/task/*/schedstat (ns); 'cpu x relay' is "
                          "the server's CPU as a multiple of the reference relay's;\n'floor' is the relay woken only "
                          "every 60 ms, moving datagrams in batches\n\n";
    std::string table = benchTable(rows, heading);
    std::fputs(table.c_str(), stdout);
    fs::create_directories(s.out);
    std::ofstream(fs::path(s.out) / (s.label + ".txt")) << table;
    std::ofstream(fs::path(s.out) / (s.label + ".svg"))
        << benchPlot(rows, "rvbench " + s.label + ", " + when);
    std::fprintf(stderr, "rvbench: wrote %s/%s.txt and %s.svg\n", s.out.c_str(), s.label.c_str(),
                 s.label.c_str());

    std::vector<HostRow> hostRows;
    for (int events : s.events) {
        if (events <= 0)
            continue;
        std::fprintf(stderr, "rvbench: host run, %d events of 32 drivers...\n", events);
        hostRows.push_back(measureHost(s, events));
    }
    if (!hostRows.empty()) {
        std::string hostTableText = hostTable(
            hostRows, "rvbench " + s.label + " host run, " + when +
                          "\nmachine: " + machineDescription() + "\n" + load + hostHeading());
        std::fputs(hostTableText.c_str(), stdout);
        std::ofstream(fs::path(s.out) / (s.label + "-host.txt")) << hostTableText;
    }
    return 0;
}
