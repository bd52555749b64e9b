#pragma once
// Runs the built companion programs as an operator would, and a real server for them to talk to.

#include <sys/types.h>
#include "common/Process.h"  // launch(), stop(), freePort()

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/RaceFixture.h"

using nlohmann::json;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::string failure() const { return std::to_string(exitCode) + " " + err; }
};

// build/<program> (or `program` when absolute) run in `folder` (a temp one when empty); after
// 10 s it is ended as hung.
ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                const std::string& folder = "");

// build/rvserver in a temp folder on a free port, started once it answers a status query and
// stopped with SIGTERM when the object goes.
class ServerProcess {
  public:
    // `config` uses "PORT=%PORT%", replaced by the borrowed port; "\n" becomes "\r\n".
    explicit ServerProcess(const std::string& config);
    ~ServerProcess() { stop(pid_); }
    bool started() const { return started_; }
    pid_t pid() const { return pid_; }
    uint16_t port() const { return uint16_t(port_); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string console() const { return folder.read("console.txt"); }
    // Sends `signal`; how the server ended if it does within `ms`, or -1 while it runs on.
    int signal(int signal, int ms);

    TempFolder folder;

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    bool started_ = false;
};
