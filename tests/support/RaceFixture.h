#pragma once
// An event with drivers attached directly, driven turn by turn on the fake clock, with a look
// at what the server queued, logged and wrote.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "admission/CRVClientConnection.h"
#include "protocol/MessageTypes.h"
#include "support/Requests.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

// Puts a client record straight into a running server's lists, as admission would, so client
// message handling can be tested without the connection handshake. The server owns it.
CRVClientConnection* attachClient(CRVServer& server, const SocketAddress& address,
                                  const std::string& name, bool spectator = false);

// The test event's configuration with `sessions` (the SESSIONS line and its sections) in place
// of its single practice, and `edits` ("KEY=value") applied to the configuration section.
std::string eventConfig(const std::string& sessions, const std::vector<std::string>& edits = {});
// One "[SESSIONn]" section.
std::string session(int n, int type, const std::string& name, int waitSeconds, int minutes,
                    int raceLaps = 0, int minLaps = 0, int maxLaps = 0);

struct Queued {
    CRVClientConnection* client;
    Bytes bytes;
    bool operator==(const Queued&) const = default;
};
using Sent = std::vector<Queued>;
// "id:value " for each message, the value its byte at `at`: who got what, in queue order.
std::string byClient(const Sent& sent, size_t at);

struct RaceFixture : ::testing::Test {
    void start(const std::string& config = defaultConfig());
    CRVClientConnection* attach(const std::string& name, bool spectator = false);
    // Drivers D1 to Dn.
    std::vector<CRVClientConnection*> attachDrivers(int n);
    // The first `n` grid points, told apart by their x coordinate: 0 to n - 1.
    void numberGrid(int n);
    // Hands `message` to the client's dispatcher as the router would; returns what it printed.
    std::string deliver(CRVClientConnection* client, Bytes message);
    std::string lap(CRVClientConnection* c, uint32_t number, int32_t lapTime, int32_t total = 0) {
        return deliver(c, lapMessage(number, lapTime, lapTime / 2, total));
    }
    // Moves the clock to `serverTime` ms after start-up, everyone still heard from unless `heard`
    // is false, and runs one turn; returns what it printed.
    std::string at(int64_t serverTime, bool heard = true);
    // The queued messages (of `type`, if given) with the client each is for; the queue is emptied.
    Sent take(int type = -1);
    // The event log's lines from `from` on, without their time stamps when `stamps` is false.
    std::string log(const std::string& from = "", bool stamps = true);
    // Only the event log's lines of `kind`, without their time stamps.
    std::string logged(const std::string& kind);
    std::string results(const std::string& sessionName);
    CRVServer& server() { return *harness->server; }

    std::unique_ptr<ServerHarness> harness;
    std::vector<std::unique_ptr<TestClient>> peers;
};

// A started server with its clock past 0, so that "never sent" (0) differs from "sent now".
struct ClientTest : RaceFixture {
    void SetUp() override {
        start();
        harness->advance(1000);
    }
};
