#pragma once
// An event with drivers attached directly, driven turn by turn on the fake clock, with a look
// at what the server queued, logged and wrote.

#include <sstream>

#include "admission/CRVClientConnection.h"
#include "common/OperatorMessages.h"
#include "common/PeerMessages.h"
#include "protocol/MessageTypes.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

// Messages a simulator, a status tool or an operator sends: the companion tools' builders.
using tool::adminCommand;
using tool::statusQuery;
inline Bytes lapMessage(uint32_t number, int32_t lapTime, int32_t split, int32_t total) {
    return peer::lapCompleted(number, lapTime, split, total);
}
inline Bytes chat(const std::string& text, uint8_t sender = 0) {
    return peer::chat(sender, text);
}

// A client put straight into a running server's lists, as admission would; the server owns it.
inline CRVClientConnection* attachClient(CRVServer& server, const SocketAddress& address,
                                         const std::string& name, bool spectator = false) {
    auto* client = new CRVClientConnection();
    std::snprintf(client->userName, sizeof client->userName, "%s", name.c_str());
    std::snprintf(client->guid, sizeof client->guid, "guid-%s", name.c_str());
    client->isSpectator = spectator;
    server.enlistClient(client);
    client->setAddress(&address);
    return client;
}

// The test event with `sessions` (the SESSIONS line on) in place of its practice, and `edits`.
inline std::string eventConfig(const std::string& sessions,
                               const std::vector<std::string>& edits = {}) {
    const std::string c = defaultConfig();
    return withEdits(c.substr(0, c.find("SESSIONS=")) + crlf(sessions), edits);
}

inline std::string session(int n, int type, const std::string& name, int waitSeconds, int minutes,
                           int raceLaps = 0, int minLaps = 0, int maxLaps = 0) {
    return "[SESSION" + std::to_string(n) + "]\nESCMODE=0\nTYPE=" + std::to_string(type) +
           "\nMAXLAPS=" + std::to_string(maxLaps) + "\nMINLAPS=" + std::to_string(minLaps) +
           "\nNAME=" + name + "\nRACELAPS=" + std::to_string(raceLaps) +
           "\nWAITTIME=" + std::to_string(waitSeconds) + "\nSESTIME=" + std::to_string(minutes) +
           "\nACCEPTNEW=1\n";
}

// A results file; each row holds a driver's guid, best lap, qualifying lap, laps and race time.
inline std::string resultsFile(const std::string& name, int type,
                               const std::vector<std::string>& rows) {
    std::string text = "[HEADER]\nNAME=" + name + "\nTYPE=" + std::to_string(type) +
                       "\nCLIENTS=" + std::to_string(rows.size()) + "\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        text += "\n[CLIENT" + std::to_string(i) + "]\n";
        std::istringstream row(rows[i]);
        std::string field;
        for (const char* key : {"GUID=", "BESTLAP=", "QUALIFYLAP=", "RACELAPS=", "RACETIME="}) {
            row >> field;
            text += key + field + "\n";
        }
    }
    return text;
}

struct Queued {
    CRVClientConnection* client;
    Bytes bytes;
    bool operator==(const Queued&) const = default;
};
using Sent = std::vector<Queued>;

// "id:value " for each message, the value its byte at `at`: who got what, in queue order.
inline std::string byClient(const Sent& sent, size_t at) {
    std::string out;
    for (const auto& [client, bytes] : sent)
        out += std::to_string(client->id) + ":" + std::to_string(bytes.at(at)) + " ";
    return out;
}

struct RaceFixture : ::testing::Test {
    // A fresh server, its peers gone with the last one.
    void start(const std::string& config = defaultConfig()) {
        peers.clear();
        harness = std::make_unique<ServerHarness>(config);
        harness->start();
    }
    CRVClientConnection* attach(const std::string& name, bool spectator = false) {
        peers.push_back(std::make_unique<TestClient>(harness->port()));
        StdoutCapture quiet;
        return attachClient(server(), peers.back()->address(), name, spectator);
    }
    // Drivers D1 to Dn.
    std::vector<CRVClientConnection*> attachDrivers(int n) {
        std::vector<CRVClientConnection*> out;
        for (int i = 1; i <= n; ++i)
            out.push_back(attach("D" + std::to_string(i)));
        return out;
    }
    // Hands `message` to the client's dispatcher as the router would; returns what it printed.
    std::string deliver(CRVClientConnection* client, Bytes message) {
        return printed(
            [&] { client->onMessage(message.data(), int(message.size()), &client->address); });
    }
    std::string lap(CRVClientConnection* c, uint32_t number, int32_t lapTime, int32_t total = 0) {
        return deliver(c, lapMessage(number, lapTime, lapTime / 2, total));
    }
    // One turn at `serverTime` ms after start-up, everyone heard from unless not `heard`.
    std::string at(int64_t serverTime, bool heard = true) {
        harness->clock.set(uint32_t(server().startTime + serverTime));
        for (CRVClientConnection* c : server().clients)
            if (heard)
                c->lastSeenTime = serverTime;
        return printed([&] { harness->turn(); });
    }
    // Empties the queue; what it held (of `type`, if given).
    Sent take(int type = -1) {
        Sent out;
        for (const QueuedMessage& m : server().router.queue)
            if (type < 0 || m.data[0] == type)
                out.push_back({static_cast<CRVClientConnection*>(m.client), m.data});
        server().router.queue.clear();
        return out;
    }
    // The event log from the line holding `from` on; only lines of `kind`, if given.
    std::string log(const std::string& from = "", bool stamps = true,
                    const std::string& kind = "") {
        server().logger.flush();
        const std::string text = harness->folder.read(server().logger.fileName());
        const size_t at = text.find(from);
        std::istringstream lines(at == std::string::npos ? ""
                                                         : text.substr(text.rfind('\n', at) + 1));
        std::string out;
        for (std::string line; std::getline(lines, line);)
            if (line.substr(line.find(',') + 1).starts_with(kind))
                out += (stamps ? line : line.substr(line.find(',') + 1)) + "\n";
        return out;
    }
    std::string logged(const std::string& kind) { return log("", false, kind + ","); }
    std::string results(const std::string& sessionName) {
        return harness->folder.read(resultsPath(sessionName));
    }
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
