// rvlive: a small web server with one live timing page for the event a server is running in
// DIR, fed by its event log and its status answers.
#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>

#include "common/Asker.h"
#include "common/Cli.h"
#include "common/Endpoint.h"
#include "common/OperatorMessages.h"
#include "platform/Platform.h"
#include "runtime/ServerConfig.h"
#include "runtime/ZTINIReader.h"
#include "rvlive/LiveState.h"

namespace {

constexpr char kProgram[] = "rvlive";
constexpr int kStatusWaitMs = 300;

httplib::Server* running = nullptr;

void stop(int) {
    if (running != nullptr)
        running->stop();
}

// The server's own countdown or time-left text; "" when it does not answer in time.
std::string statusText(const SocketAddress& server) {
    tool::Asker asker;
    const uint32_t token = std::random_device{}();
    tool::Answer a = asker.ask(
        server, tool::statusQuery(token), kStatusWaitMs, 0,
        [token](const std::vector<uint8_t>& answer) { return tool::checkStatus(answer, token); });
    return a.ok ? tool::readStatus(a.bytes).statusText : "";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Serves a live timing page for the server running in --dir: the current session, its "
        "standings and the latest events, refreshed every second in the browser.\n"
        "Each refresh asks the server for its status and waits at most 300 ms for it.\n"
        "Exit codes: 0 stopped by SIGTERM or SIGINT, 1 cannot listen or no configuration, 2 usage.",
        kProgram};
    std::string dir;
    int port = 8080;
    std::string bind = "127.0.0.1";
    std::string serverText;
    app.add_option("--dir", dir, "the server's working directory")->required();
    app.add_option("--port", port, "the page's TCP port (default 8080)")
        ->check(CLI::Range(1, 65535));
    app.add_option("--bind", bind, "the address to listen on (default 127.0.0.1)");
    app.add_option("--server", serverText,
                   "HOST:PORT of the race server (default 127.0.0.1 and the PORT of DIR's "
                   "configuration)");
    if (int code = tool::parse(app, argc, argv); code >= 0)
        return code;

    const std::string root = dir.back() == '/' ? dir : dir + "/";
    SocketAddress server;
    std::string error;
    if (serverText.empty()) {
        ZTINIReader ini;
        if (loadConfigurationFile(ini, platform::documentsFolder(), root).empty())
            return tool::fail(kProgram, "no configuration in " + dir);
        ServerConfig config;
        std::vector<SessionRecord> sessions;
        readServerConfiguration(ini, config, sessions);
        serverText = "127.0.0.1:" + std::to_string(config.port);
    }
    if (!tool::resolveEndpoint(serverText, server, error))
        return tool::fail(kProgram, error);

    httplib::Server http;
    http.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kLivePage, "text/html; charset=utf-8");
    });
    http.Get("/live.json", [&](const httplib::Request&, httplib::Response& res) {
        std::vector<LogEvent> events;
        std::string why;
        const std::string log = newestEventLog(root + "server/logs");
        if (log.empty() || !readEventLog(log, events, why, true)) {
            nlohmann::ordered_json out = {
                {"error", log.empty() ? "no event log in " + root + "server/logs" : why}};
            res.status = 503;
            res.set_content(out.dump(), "application/json");
            return;
        }
        res.set_content(liveState(events, statusText(server))
                            .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                        "application/json");
    });
    running = &http;
    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);
    if (!http.bind_to_port(bind, port))
        return tool::fail(kProgram, "cannot listen on " + bind + ":" + std::to_string(port));
    std::printf("rvlive: http://%s:%d/ for %s (server %s)\n", bind.c_str(), port, dir.c_str(),
                tool::describe(server).c_str());
    std::fflush(stdout);
    http.listen_after_bind();
    return tool::kOk;
}
