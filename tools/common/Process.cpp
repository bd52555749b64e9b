#include "common/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/Asker.h"
#include "common/OperatorMessages.h"
#include "platform/Platform.h"
#include "util/LineEnds.h"

pid_t launch(const std::string& folder, const std::vector<std::string>& argv) {
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int console = ::open((folder + "/console.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::chdir(folder.c_str()) == 0 && console >= 0 && ::dup2(console, 1) == 1 &&
        ::dup2(console, 2) == 2 && ::setenv("XDG_DOCUMENTS_DIR", "no-documents", 1) == 0)
        ::execv(args[0], args.data());
    ::_exit(127);
}

bool answersStatus(uint16_t port, int ms) {
    const uint32_t token = 0x50414b53;
    tool::Asker asker;
    const int tries = ms / 50 > 0 ? ms / 50 : 1;
    return asker
        .ask(SocketAddress::fromHost(0x7f000001, port), tool::statusQuery(token), 50, tries - 1,
             [&](const std::vector<uint8_t>& answer) { return tool::checkStatus(answer, token); })
        .ok;
}

void stop(pid_t pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int waited = 0; waited < 3000; waited += 10) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

bool sampleProcess(pid_t pid, ProcessSample& out) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return false;
    // Fields after the command name start at field 3 (state); utime and stime are fields 14
    // and 15, the resident set (in pages) field 24.
    std::istringstream fields(text.substr(close + 2));
    std::vector<std::string> f;
    for (std::string x; fields >> x;)
        f.push_back(x);
    if (f.size() < 22)
        return false;
    double tick = double(::sysconf(_SC_CLK_TCK));
    out.cpuSeconds = (std::stod(f[11]) + std::stod(f[12])) / tick;
    // The scheduler's own account is in nanoseconds, where the ticks above are 10 ms: at a few
    // tenths of a percent of a core a 20 s window holds only a dozen ticks. Summed over threads.
    double runSeconds = 0;
    unsigned long long slices = 0;
    bool scheduled = false;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        std::ifstream sched(task.path() / "schedstat");
        unsigned long long ran = 0, waited = 0, count = 0;
        if (sched >> ran >> waited >> count) {
            runSeconds += double(ran) / 1e9;
            slices += count;
            scheduled = true;
        }
    }
    if (scheduled) {
        out.cpuSeconds = runSeconds;
        out.wakeUps = slices;
    }
    out.rssKiB = std::stol(f[21]) * (::sysconf(_SC_PAGESIZE) / 1024);
    out.wallMicros = platform::monotonicMicros();
    return true;
}

double cpuPercent(const ProcessSample& from, const ProcessSample& to) {
    double wall = double(to.wallMicros - from.wallMicros) / 1e6;
    return wall > 0 ? 100.0 * (to.cpuSeconds - from.cpuSeconds) / wall : 0;
}

double wakeUpsPerSecond(const ProcessSample& from, const ProcessSample& to) {
    double wall = double(to.wallMicros - from.wallMicros) / 1e6;
    return wall > 0 ? double(to.wakeUps - from.wakeUps) / wall : 0;
}

uint16_t freePort() {
    platform::SocketHandle s = platform::udpOpen();
    platform::udpBind(s, 0);
    uint16_t port = platform::udpLocalPort(s);
    platform::udpClose(s);
    return port;
}

std::string machineDescription() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string model = "unknown CPU";
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    std::ifstream release("/proc/sys/kernel/osrelease");
    std::string kernel;
    std::getline(release, kernel);
    return model + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores, Linux " +
           kernel;
}

std::string measuredEventConfig(uint16_t port) {
    const std::string text =
        "[CONFIGURATION]\nMAXCLIENTS=32\nACCEPTVERSION=131\nNAME=Bench Event\nTRACK=demoring\n"
        "CONFIGURATION=full\nCAR=gt_demo;\nPASSWORD=\nADMIN=bench\nREGISTER=0\nPORT=" +
        std::to_string(port) +
        "\nBANDWIDTH=10000\nLOOP=0\nWINNERBALLAST=0\nFULLMODE=1\nFRONTTIRE=\nREARTIRE=\n"
        "RAIN=0\nDAMAGE=1\nSESSIONS=1\n[SESSION0]\nESCMODE=0\nTYPE=0\n"
        "MAXLAPS=0\nMINLAPS=0\nNAME=Practice\nRACELAPS=0\nWAITTIME=0\nSESTIME=600\n"
        "ACCEPTNEW=1\n[ENTRYLIST]\nENTRIES=0\nUSEFORGRID=0\n";
    return withCrlf(text);
}
