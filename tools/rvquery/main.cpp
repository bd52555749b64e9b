// rvquery: asks a server for its status (or an echo) and prints the answer.
#include <cstdio>
#include <random>

#include "common/Asker.h"
#include "common/Cli.h"
#include "common/Endpoint.h"
#include "common/OperatorMessages.h"

namespace {

constexpr char kProgram[] = "rvquery";

std::string roundTrip(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", ms);
    return text;
}

double rounded(double ms) {
    return double(int64_t(ms * 10 + 0.5)) / 10;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Asks a race server for its status with RV_GETSTATUS and prints the answer.\n"
        "Each try waits at most --timeout ms; the whole run waits at most "
        "timeout x (1 + retries).\n"
        "Exit codes: 0 answered, 1 no answer or a bad answer, 2 usage.",
        kProgram};
    std::string host;
    int timeoutMs = 1000;
    int retries = 0;
    bool json = false;
    bool echo = false;
    app.add_option("host", host, "HOST[:PORT] of the server (port 6666 when omitted)")->required();
    app.add_option("--timeout", timeoutMs, "milliseconds to wait for each answer (default 1000)")
        ->check(CLI::Range(1, 60000));
    app.add_option("--retries", retries, "queries to send again after a timeout (default 0)")
        ->check(CLI::Range(0, 10));
    app.add_flag("--json", json, "print one JSON object");
    app.add_flag("--echo", echo, "send the echo probe instead of the status query");
    if (int code = tool::parse(app, argc, argv); code >= 0)
        return code;

    SocketAddress server;
    std::string error;
    if (!tool::resolveEndpoint(host, server, error))
        return tool::fail(kProgram, error);

    tool::Asker asker;
    const std::string address = tool::describe(server);
    if (echo) {
        tool::Answer a = asker.ask(server, tool::echoProbe(), timeoutMs, retries, tool::checkEcho);
        if (!a.ok)
            return tool::fail(kProgram, a.error);
        if (json) {
            nlohmann::ordered_json out = {
                {"address", address}, {"echo", true}, {"roundTripMs", rounded(a.roundTripMs)}};
            std::printf("%s\n", out.dump().c_str());
        } else {
            std::printf("echo from %s in %s\n", address.c_str(), roundTrip(a.roundTripMs).c_str());
        }
        return tool::kOk;
    }

    const uint32_t token = std::random_device{}();
    tool::Answer a = asker.ask(
        server, tool::statusQuery(token), timeoutMs, retries,
        [token](const std::vector<uint8_t>& answer) { return tool::checkStatus(answer, token); });
    if (!a.ok)
        return tool::fail(kProgram, a.error);
    const tool::ServerStatus status = tool::readStatus(a.bytes);
    if (json) {
        nlohmann::ordered_json out = {{"address", address}};
        out.update(tool::toJson(status));
        out["roundTripMs"] = rounded(a.roundTripMs);
        // Received texts are not guaranteed UTF-8; replace what is not instead of failing.
        std::printf("%s\n",
                    out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        std::printf("server:        %s\n%sround trip:    %s\n", address.c_str(),
                    tool::toText(status).c_str(), roundTrip(a.roundTripMs).c_str());
    }
    return tool::kOk;
}
