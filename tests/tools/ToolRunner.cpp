#include "tools/ToolRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                const std::string& folder) {
    TempFolder scratch;
    const std::string binary =
        program.front() == '/' ? program : std::string(RV_TOOLS_DIR) + "/" + program;
    const std::string out = scratch.path() + "/out", err = scratch.path() + "/err";
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string dir = folder.empty() ? scratch.path() : folder;
        if (::chdir(dir.c_str()) == 0 &&
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT, 0644), 1) == 1 &&
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT, 0644), 2) == 2)
            ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    ToolRun run;
    int status = 0;
    if (!within(10000, [&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        run.err = "hung";
        return run;
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = scratch.read("out");
    run.err = scratch.read("err");
    return run;
}

ServerProcess::ServerProcess(const std::string& config) : port_(freePort()) {
    std::string text = config;
    const size_t at = text.find("%PORT%");
    if (at != std::string::npos)
        text.replace(at, 6, std::to_string(port_));
    folder.write("cfg/rvservercfg.ini", crlf(text));
    for (const char* dir : {"server/logs", "server/sessions", "server/users", "server/replay"})
        folder.makeFolder(dir);
    pid_ = launch(folder.path(), {RV_SERVER_BINARY});
    started_ = pid_ > 0 && answersStatus(uint16_t(port_), 3000);
}

int ServerProcess::signal(int signal, int ms) {
    ::kill(pid_, signal);
    int status = -1;
    if (within(ms, [&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }))
        pid_ = -1;
    return pid_ == -1 ? status : -1;
}
