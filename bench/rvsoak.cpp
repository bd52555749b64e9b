// rvsoak: the server under abuse and on a bad network, checked from outside as an operator would.
// First, one client (or stranger) floods the server with one kind of message at a time while
// simulated drivers measure their combined car packets: the others' cadence must hold and memory
// stay flat. Then the drivers run through a relay that loses, duplicates and reorders datagrams:
// no crash, no frozen car, memory flat, nothing dropped for lack of room.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "LossyRelay.h"
#include "common/Cli.h"
#include "common/OperatorMessages.h"
#include "common/PeerInbox.h"
#include "common/Process.h"
#include "platform/Platform.h"
#include "protocol/MessageTypes.h"
#include "rvbot/BotFleet.h"

namespace fs = std::filesystem;

namespace {

struct Settings {
    std::string server = "build/rvserver";
    std::string demo = "demo";
    int drivers = 32;
    double seconds = 600;
    double floodSeconds = 10;
    int floodDrivers = 8;
    double floodRate = 3000;
    double maxGapP99Ms = 70;
    long maxGrowthKiB = 1024;
};

// One sender that floods the server with one kind of message from its own socket; all but the
// status query come from an admitted client.
class Flooder {
  public:
    Flooder(uint16_t serverPort, const std::string& kind, double perSecond)
        : kind_(kind), perSecond_(perSecond) {
        socket_ = platform::udpOpen();
        platform::udpBindTo(socket_, 0x7f000001, 0);
        server_ = SocketAddress::fromHost(0x7f000001, serverPort);
        if (kind_ != "status")
            admit();
        thread_ = std::thread([this] { run(); });
    }
    ~Flooder() {
        stop_ = true;
        thread_.join();
        platform::udpClose(socket_);
    }

  private:
    void send(const Bytes& b) {
        int error = 0;
        platform::udpSendTo(socket_, b.data(), int(b.size()), server_, error);
    }
    void admit() {
        ConnectFields f;
        f.guid = "flooder";
        f.userName = "Flooder";
        f.raceNumber = 99;
        send(connectRequest(f));
        // Acknowledges the admission's messages until the acceptance has come and the burst
        // after it has gone quiet, for two seconds at the most.
        uint8_t buffer[2048];
        SocketAddress from;
        bool accepted = false;
        const uint64_t end = platform::monotonicMicros() + 2000000;
        for (uint64_t t = platform::monotonicMicros(); t < end; t = platform::monotonicMicros()) {
            const int waitMs = accepted ? 20 : int((end - t) / 1000) + 1;
            if (!platform::udpWaitReadable(socket_, waitMs))
                break;
            const int n = platform::udpRecvFrom(socket_, buffer, int(sizeof buffer), from);
            const peer::Unframed u = peer::unframe(buffer, n, [&](const Bytes& a) { send(a); });
            accepted |= u.kind != peer::Unframed::kAcknowledgement && u.size > 0 &&
                        u.message[0] == RV_ACCEPTED;
        }
    }
    void run() {
        const Bytes message = kind_ == "chat"      ? peer::chat(0, "flood")
                              : kind_ == "relay"   ? Bytes{RV_RELAY, 1, 2, 3, 4}
                              : kind_ == "signoff" ? peer::typeOnly(RV_SIGNOFF)
                                                   : tool::statusQuery(0x04030201);
        const auto step = std::chrono::duration<double>(1.0 / perSecond_);
        auto next = std::chrono::steady_clock::now();
        uint8_t buffer[2048];
        SocketAddress from;
        while (!stop_) {
            send(message);
            while (platform::udpPending(socket_))
                platform::udpRecvFrom(socket_, buffer, int(sizeof buffer), from);
            next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(step);
            std::this_thread::sleep_until(next);
        }
    }
    std::string kind_;
    double perSecond_;
    int socket_ = -1;
    SocketAddress server_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Server {
    explicit Server(const Settings& s) {
        folder = fs::temp_directory_path() / ("rvsoak-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::copy(s.demo, folder, fs::copy_options::recursive);
        port = freePort();
        std::ofstream(folder / "cfg/rvservercfg.ini", std::ios::binary)
            << measuredEventConfig(port);
        pid = launch(folder.string(), {fs::absolute(s.server).string()});
        // One that never answers shows as drivers not admitted.
        answersStatus(port, 5000);
    }
    ~Server() {
        stop(pid);
        fs::remove_all(folder);
    }
    bool alive() const { return ::kill(pid, 0) == 0; }
    std::string console() const {
        std::ifstream in(folder / "console.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path folder;
    uint16_t port = 0;
    pid_t pid = -1;
};

struct Verdict {
    bool ok = true;
    void check(bool condition, const std::string& what) {
        std::printf("  %s %s\n", condition ? "ok  " : "FAIL", what.c_str());
        ok &= condition;
    }
};

LoadReport runFleet(uint16_t port, int drivers, double seconds, ProcessSample& from,
                    ProcessSample& to, pid_t pid, std::function<void()> atStart = {}) {
    FleetOptions o;
    o.port = port;
    o.drivers = drivers;
    o.seconds = seconds;
    o.load = true;
    o.chatSeconds = 30;
    o.lapSeconds = 20;
    o.onWindowStart = [&] {
        if (atStart)
            atStart();
        sampleProcess(pid, from);
    };
    o.onWindowEnd = [&] { sampleProcess(pid, to); };
    BotFleet fleet(o);
    std::string error;
    if (!fleet.open(error)) {
        LoadReport r;
        r.failure = error;
        return r;
    }
    return fleet.run();
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    CLI::App app{
        "rvsoak: floods and a lossy network against rvserver; exit 0 when every check holds"};
    app.add_option("--server", s.server, "server binary")->capture_default_str();
    app.add_option("--demo", s.demo, "demo event folder copied for the run")->capture_default_str();
    app.add_option("--drivers", s.drivers, "drivers on the lossy link")->check(CLI::Range(1, 31));
    app.add_option("--seconds", s.seconds, "length of the lossy run")->capture_default_str();
    app.add_option("--flood-seconds", s.floodSeconds, "length of each flood")
        ->capture_default_str();
    if (const int code = tool::parse(app, argc, argv); code >= 0)
        return code;
    Verdict verdict;
    for (const char* kind : {"chat", "relay", "signoff", "status"}) {
        Server server(s);
        std::unique_ptr<Flooder> flooder;
        ProcessSample from, to;
        std::printf("flood of %s at %.0f/s, %d drivers measuring, %.0f s\n", kind, s.floodRate,
                    s.floodDrivers, s.floodSeconds);
        LoadReport r =
            runFleet(server.port, s.floodDrivers, s.floodSeconds, from, to, server.pid,
                     [&] { flooder = std::make_unique<Flooder>(server.port, kind, s.floodRate); });
        flooder.reset();
        std::printf("%s", r.text().c_str());
        verdict.check(r.failure.empty(), "every driver admitted");
        verdict.check(r.interArrivalMs.p99 <= s.maxGapP99Ms, "car packets p99 gap <= 70 ms");
        verdict.check(to.rssKiB - from.rssKiB <= 8 * 1024, "memory growth under 8 MiB");
        verdict.check(server.alive(), "server alive");
    }
    {
        Server server(s);
        LossyRelay relay(server.port, Impairment{});
        ProcessSample from, to;
        std::printf("lossy link (5 %% loss, 1 %% duplicates, 0-30 ms jitter), %d drivers, %.0f s\n",
                    s.drivers, s.seconds);
        LoadReport r = runFleet(relay.port(), s.drivers, s.seconds, from, to, server.pid,
                                [&] { relay.impaired = true; });
        std::printf("%s", r.text().c_str());
        std::printf("  relay: %llu forwarded, %llu lost, %llu duplicated\n",
                    static_cast<unsigned long long>(relay.forwarded.load()),
                    static_cast<unsigned long long>(relay.lost.load()),
                    static_cast<unsigned long long>(relay.duplicated.load()));
        verdict.check(r.failure.empty(), "every driver admitted");
        verdict.check(server.alive(), "server alive");
        verdict.check(
            to.rssKiB - from.rssKiB <= s.maxGrowthKiB,
            "memory growth <= 1 MiB (" + std::to_string(to.rssKiB - from.rssKiB) + " KiB)");
        // Each client should see about 16 packets a second, less what the link loses.
        verdict.check(r.packetsPerClientPerSecond > 12,
                      "no car frozen (packets per client per second)");
        verdict.check(r.badSizes == 0, "every combined packet carries every other car");
        const std::string console = server.console();
        verdict.check(console.find("dropped") == std::string::npos &&
                          console.find("without a resend copy") == std::string::npos,
                      "nothing dropped for lack of room");
    }
    std::printf("%s\n", verdict.ok ? "SOAK PASSED" : "SOAK FAILED");
    return verdict.ok ? 0 : 1;
}
