// rvbot: simulated drivers and spectators for load tests, soak tests and demos. Each client has
// its own UDP socket and talks only to the server it is pointed at; the run ends by itself.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "common/Cli.h"
#include "rvbot/BotFleet.h"

int main(int argc, char** argv) {
    FleetOptions o;
    bool json = false;
    CLI::App app{
        "rvbot: simulated Ralvo drivers against one server. Exit codes: 0 every client "
        "admitted and the run completed, 1 bad input or not every client admitted "
        "(admission waits at most --admit-wait seconds), 2 usage."};
    app.add_option("--host", o.host, "server IPv4 address or host name")->capture_default_str();
    app.add_option("--port", o.port, "server UDP port")->capture_default_str();
    app.add_option("-n,--drivers", o.drivers, "simulated drivers")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--spectators", o.spectators, "simulated spectators")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--rate", o.rateHz, "car updates per second per driver")
        ->check(CLI::Range(1.0, 1000.0))
        ->capture_default_str();
    app.add_option("-d,--duration", o.seconds, "seconds to run once every client is in")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    app.add_option("--admit-wait", o.admitSeconds, "seconds to wait for every admission")
        ->check(CLI::Range(0.1, 600.0))
        ->capture_default_str();
    app.add_option("--lap-time", o.lapSeconds, "nominal lap time in seconds")
        ->check(CLI::Range(5.0, 3600.0))
        ->capture_default_str();
    app.add_option("--lap-spread", o.lapSpread, "lap time spread, as a fraction")
        ->check(CLI::Range(0.0, 0.5))
        ->capture_default_str();
    app.add_option("--chat-every", o.chatSeconds, "mean seconds between chat lines, 0 for none")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    app.add_flag("--load", o.load,
                 "stamp every car update with its send time and report relay rate and latency");
    app.add_flag("--json", json, "print the report as one JSON object");
    if (const int code = tool::parse(app, argc, argv); code >= 0)
        return code;
    if (o.drivers + o.spectators > 255) {
        std::fprintf(stderr, "rvbot: at most 255 clients in one run\n");
        return 1;
    }

    BotFleet fleet(o);
    std::string error;
    if (!fleet.open(error)) {
        std::fprintf(stderr, "rvbot: %s\n", error.c_str());
        return 1;
    }
    LoadReport report = fleet.run();
    std::fputs(json ? report.json().c_str() : report.text().c_str(), stdout);
    if (!report.failure.empty()) {
        std::fprintf(stderr, "rvbot: %s\n", report.failure.c_str());
        return 1;
    }
    return 0;
}
