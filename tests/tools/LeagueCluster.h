#pragma once
// A private PostgreSQL cluster for one test binary: initdb in a temp folder (as the `postgres`
// system user when run as root, since PostgreSQL refuses root), pg_ctl on a free port with its
// socket in that folder, stopped at the end. A machine without PostgreSQL fails the tests.

#include <unistd.h>

#include <pqxx/pqxx>

#include "tools/ToolRunner.h"

class LeagueCluster {
  public:
    LeagueCluster() {
        fs::permissions(folder.path(), fs::perms::all);
        started = run("initdb", {"-D", data(), "-A", "trust", "-U", "postgres", "--no-sync"}) &&
                  run("pg_ctl", {"-D", data(), "-w", "-l", folder.path() + "/server.log", "-o",
                                 "-p " + std::to_string(port) + " -k " + folder.path() +
                                     " -c listen_addresses='' -c fsync=off",
                                 "start"});
    }
    ~LeagueCluster() {
        // The server's own pid file names the postmaster; should pg_ctl not stop it, it is ended
        // here, before its folder goes.
        const pid_t postmaster = std::atoi(folder.read("data/postmaster.pid").c_str());
        if (started)
            run("pg_ctl", {"-D", data(), "-w", "-m", "immediate", "stop"});
        if (postmaster > 0 && ::kill(postmaster, SIGQUIT) == 0)
            within(5000, [&] { return ::kill(postmaster, 0) != 0; });
    }
    // A new, empty database of the cluster.
    std::string freshDatabase() {
        const std::string name = "league" + std::to_string(++made);
        pqxx::connection c(url("postgres"));
        pqxx::nontransaction(c).exec("CREATE DATABASE " + name);
        return url(name);
    }
    std::string url(const std::string& database) const {
        return "postgresql://postgres@/" + database + "?host=" + folder.path() +
               "&port=" + std::to_string(port);
    }
    std::string why() const { return folder.read("server.log") + output; }

    bool started = false;

  private:
    std::string data() const { return folder.path() + "/data"; }
    bool run(const std::string& program, std::vector<std::string> args) {
        std::string path = "/usr/lib/postgresql/15/bin/" + program;
        if (::getuid() == 0) {
            args.insert(args.begin(), {"-u", "postgres", "--", path});
            path = "/usr/sbin/runuser";
        }
        const ToolRun r = runTool(path, args);
        output += r.out + r.err;
        return r.exitCode == 0;
    }

    TempFolder folder;
    const uint16_t port = freePort();
    int made = 0;
    std::string output;
};
