// rvadmin: sends one remote console command to a server and, on request, checks what the status
// query can show of its effect.
#include <cstdio>
#include <random>

#include "admission/BanCommand.h"
#include "common/Asker.h"
#include "common/Cli.h"
#include "common/Endpoint.h"
#include "common/OperatorMessages.h"

namespace {

constexpr char kProgram[] = "rvadmin";
const std::string kCommands =
    "reset, setBallast INDEX KG, pings, startRaceSequence, kick ID [REASON], "
    "ban ID|GUID|ADDRESS[/BITS] MINUTES [REASON], unban GUID|ADDRESS[/BITS], bans, drain";

// The commands the server's console knows, with the words each takes.
bool validCommand(const std::vector<std::string>& words, std::string& error) {
    const std::string& name = words.front();
    if (name == "reset" || name == "pings" || name == "startRaceSequence" || name == "drain") {
        if (words.size() == 1)
            return true;
        error = name + " takes no arguments";
        return false;
    }
    if (name == "setBallast") {
        try {
            size_t used = 0;
            if (words.size() == 3 && std::stoi(words[1], &used) >= 0 && used == words[1].size() &&
                (std::stof(words[2], &used), used == words[2].size()))
                return true;
        } catch (const std::exception&) {
        }
        error = "setBallast takes a client index (0 or more) and kilograms";
        return false;
    }
    // Kicks and bans are checked by the server's own reading of them.
    std::string rest;
    for (size_t i = 1; i < words.size(); ++i)
        rest += " " + words[i];
    const BanCommand ban = parseBanCommand(name, rest);
    if (ban.kind != BanCommand::Kind::kNone) {
        error = ban.error;
        if (ban.kind == BanCommand::Kind::kList && words.size() > 1)
            error = "bans takes no arguments";
        return error.empty();
    }
    error = "unknown command \"" + name + "\" (" + kCommands + ")";
    return false;
}

std::string join(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Sends a remote console command (RV_ADMINCOMMAND) to a race server.\n"
        "The server answers nothing to console commands; --verify asks for its status afterwards "
        "and waits at most --timeout ms for it.\n"
        "Exit codes: 0 sent (and confirmed), 1 not sent, no answer or not confirmed, 2 usage.",
        kProgram};
    std::string host;
    std::string password;
    std::vector<std::string> command;
    int timeoutMs = 1000;
    bool verify = false;
    app.add_option("host", host, "HOST[:PORT] of the server (port 6666 when omitted)")->required();
    app.add_option("command", command,
                   kCommands + " (MINUTES 0: for good; drain: the event closes, no new clients, "
                               "the server ends after the race)")
        ->required();
    app.add_option("--password", password, "the server's ADMIN password")->required();
    app.add_flag("--verify", verify, "confirm through a status query what the status can show");
    app.add_option("--timeout", timeoutMs, "milliseconds to wait for the status (default 1000)")
        ->check(CLI::Range(1, 60000));
    if (int code = tool::parse(app, argc, argv); code >= 0)
        return code;
    std::string error;
    if (!validCommand(command, error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return tool::kUsage;
    }
    if (password.size() > tool::kMaxAdminPassword)
        return tool::fail(kProgram,
                          "the password field holds 16 characters; a longer password "
                          "never matches");
    SocketAddress server;
    if (!tool::resolveEndpoint(host, server, error))
        return tool::fail(kProgram, error);

    tool::Asker asker;
    const std::string text = join(command);
    if (!asker.send(server, tool::adminCommand(password, text), error))
        return tool::fail(kProgram, error);
    std::printf("sent \"%s\" to %s; the server does not answer console commands%s\n",
                tool::printable(text).c_str(), tool::describe(server).c_str(),
                command.front() == "bans" ? " (the list is printed on its console)" : "");
    if (!verify)
        return tool::kOk;

    const uint32_t token = std::random_device{}();
    tool::Answer a = asker.ask(
        server, tool::statusQuery(token), timeoutMs, 0,
        [token](const std::vector<uint8_t>& answer) { return tool::checkStatus(answer, token); });
    if (!a.ok)
        return tool::fail(kProgram, a.error);
    const tool::ServerStatus s = tool::readStatus(a.bytes);
    const std::string now = tool::sessionTypeName(s.sessionType) + ", " + s.statusText;
    if (command.front() == "startRaceSequence" && s.sessionType == 2) {
        // The status shows the seconds to the start in steps of 10, rounded down.
        if (s.statusText != "10sec to start" && s.statusText != "20sec to start")
            return tool::fail(kProgram, "not confirmed: the race does not start within 20 s (" +
                                            now + "); is the password right?");
        std::printf("confirmed: the race starts within 20 s (%s)\n", now.c_str());
        return tool::kOk;
    }
    if (command.front() == "drain") {
        // A closing event shows closed access, whatever its session allows.
        if (s.access != 0)
            return tool::fail(kProgram, "not confirmed: the server still lets clients in (" + now +
                                            "); is the password right?");
        std::printf("confirmed: the event is closing (%s, access closed)\n", now.c_str());
        return tool::kOk;
    }
    std::printf("the server is answering (%s); the status cannot show the effect of %s\n",
                now.c_str(), command.front().c_str());
    return tool::kOk;
}
