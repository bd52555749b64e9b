#pragma once
// Runs the built companion programs as an operator would, and a real server for them to talk to.

#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/Process.h"  // launch(), stop(), freePort()
#include "support/RaceFixture.h"

using nlohmann::json;
namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::string failure() const { return std::to_string(exitCode) + " " + err; }
};

// build/<program> (or `program` when absolute) run in a temp folder; after 10 s it is ended as
// hung. The shell only sends stderr apart from the console, then becomes the program.
inline ToolRun runTool(const std::string& program, const std::vector<std::string>& args) {
    TempFolder scratch;
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>err",
                                  program.front() == '/' ? program : RV_TOOLS_DIR "/" + program};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = launch(scratch.path(), argv);
    int status = 0;
    if (!within(10000, [&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
        stop(pid);
        return {-1, "", "hung"};
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            scratch.read("console.txt"), scratch.read("err")};
}

// build/rvserver in a temp folder on a free port, started once it answers a status query and
// stopped with SIGTERM when the object goes.
struct ServerProcess {
    // `config` uses "PORT=%PORT%", replaced by the borrowed port.
    explicit ServerProcess(std::string config) {
        config.replace(config.find("%PORT%"), 6, std::to_string(port));
        folder.write("cfg/rvservercfg.ini", config);
        for (const char* dir : {"server/logs", "server/sessions", "server/users", "server/replay"})
            folder.makeFolder(dir);
        pid = launch(folder.path(), {RV_SERVER_BINARY});
        started = pid > 0 && answersStatus(port, 3000);
    }
    ~ServerProcess() { stop(pid); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port); }
    std::string console() const { return folder.read("console.txt"); }
    // Sends `signal`; how the server ended if it does within `ms`, or -1 while it runs on.
    int signal(int signal, int ms) {
        ::kill(pid, signal);
        int status = -1;
        if (within(ms, [&] { return ::waitpid(pid, &status, WNOHANG) == pid; }))
            pid = -1;
        return pid == -1 ? status : -1;
    }

    TempFolder folder;
    const uint16_t port = freePort();
    pid_t pid = -1;
    bool started = false;
};
