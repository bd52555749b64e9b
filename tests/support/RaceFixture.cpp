#include "support/RaceFixture.h"

#include <cstdio>

std::string eventConfig(const std::string& sessions, const std::vector<std::string>& edits) {
    const std::string c = defaultConfig();
    return withEdits(c.substr(0, c.find("SESSIONS=")) + crlf(sessions), edits);
}

std::string session(int n, int type, const std::string& name, int waitSeconds, int minutes,
                    int raceLaps, int minLaps, int maxLaps) {
    return "[SESSION" + std::to_string(n) + "]\nESCMODE=0\nTYPE=" + std::to_string(type) +
           "\nMAXLAPS=" + std::to_string(maxLaps) + "\nMINLAPS=" + std::to_string(minLaps) +
           "\nNAME=" + name + "\nRACELAPS=" + std::to_string(raceLaps) +
           "\nWAITTIME=" + std::to_string(waitSeconds) + "\nSESTIME=" + std::to_string(minutes) +
           "\nACCEPTNEW=1\n";
}

CRVClientConnection* attachClient(CRVServer& server, const SocketAddress& address,
                                  const std::string& name, bool spectator) {
    auto* client = new CRVClientConnection();
    std::snprintf(client->userName, sizeof client->userName, "%s", name.c_str());
    std::snprintf(client->guid, sizeof client->guid, "guid-%s", name.c_str());
    client->isSpectator = spectator;
    server.enlistClient(client);
    client->setAddress(&address);
    return client;
}

void RaceFixture::start(const std::string& config) {
    harness = std::make_unique<ServerHarness>(config);
    harness->start();
}

CRVClientConnection* RaceFixture::attach(const std::string& name, bool spectator) {
    peers.push_back(std::make_unique<TestClient>(harness->port()));
    StdoutCapture quiet;
    return attachClient(server(), peers.back()->address(), name, spectator);
}

std::string RaceFixture::deliver(CRVClientConnection* client, Bytes message) {
    StdoutCapture out;
    client->onMessage(message.data(), int(message.size()), &client->address);
    return out.take();
}

std::string RaceFixture::at(int64_t serverTime, bool heard) {
    harness->clock.set(uint32_t(server().startTime + serverTime));
    for (CRVClientConnection* c : server().clients)
        if (heard)
            c->lastSeenTime = serverTime;
    StdoutCapture out;
    harness->turn();
    return out.take();
}

Sent RaceFixture::take(int type) {
    Sent out;
    for (const QueuedMessage& m : server().router.queue)
        if (type < 0 || m.data[0] == type)
            out.push_back({static_cast<CRVClientConnection*>(m.client), m.data});
    server().router.queue.clear();
    return out;
}

std::string RaceFixture::log(const std::string& from, bool stamps) {
    server().logger.flush();
    const std::string text = harness->folder.read(server().logger.fileName());
    std::string out;
    size_t at = from.empty() ? 0 : text.find(from);
    if (at == std::string::npos)
        return "";
    at = text.rfind('\n', at);
    at = at == std::string::npos ? 0 : at + 1;
    while (at < text.size()) {
        size_t end = text.find('\n', at) + 1;
        std::string line = text.substr(at, end - at);
        out += stamps ? line : line.substr(line.find(',') + 1);
        at = end;
    }
    return out;
}

std::string RaceFixture::results(const std::string& sessionName) {
    return harness->folder.read(resultsPath(sessionName));
}
