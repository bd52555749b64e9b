#pragma once
// Simulated simulator clients in one process: each driver or spectator has its own UDP socket,
// connects, acknowledges reliable datagrams, and while the run lasts sends what a simulator
// sends (car updates at a fixed rate, pings, lap reports, now and then a chat line), then signs
// off. With `load` set every car update carries its send time, so that the relayed copies tell
// how long the relay took.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rvbot/LoadReport.h"

struct FleetOptions {
    std::string host = "127.0.0.1";
    uint16_t port = 6666;
    int drivers = 1;
    int spectators = 0;
    double rateHz = 60;
    double seconds = 20;       // the measured window, after every client is in
    double settleSeconds = 1;  // between the last admission and the window
    double admitSeconds = 5;   // how long to wait for every admission
    double lapSeconds = 90;
    double lapSpread = 0.02;  // each lap within +-2 % of the lap time
    double chatSeconds = 45;  // mean time between chat lines; 0 for none
    bool load = false;
    std::string guidPrefix;  // default: "rvbot-<pid>"
    // Called when the measured window opens and closes (the benchmark samples the server there).
    std::function<void()> onWindowStart;
    std::function<void()> onWindowEnd;
};

class BotFleet {
  public:
    explicit BotFleet(FleetOptions options);
    ~BotFleet();
    BotFleet(const BotFleet&) = delete;
    BotFleet& operator=(const BotFleet&) = delete;

    // Resolves the host and opens one socket per client. False, with the reason, when the
    // host is no IPv4 address or not every client can have its socket.
    bool open(std::string& error);
    // Connects everyone, runs the window, signs off. The report's `failure` is set when not
    // every client was admitted; the window is then skipped.
    LoadReport run();

    struct Bot;

  private:
    void pump(uint64_t untilMicros);
    void receiveAll(Bot& bot);
    void onMessage(Bot& bot, const uint8_t* data, int size);
    void onMegapacket(Bot& bot, const uint8_t* data, int size);
    void act(Bot& bot);
    void sendTo(Bot& bot, const std::vector<uint8_t>& datagram);
    bool allAdmitted() const;

    FleetOptions options_;
    uint32_t serverIp_ = 0;
    std::vector<std::unique_ptr<Bot>> bots_;
    bool measuring_ = false;
    LoadSamples samples_;
};
