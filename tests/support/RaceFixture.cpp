#include "support/RaceFixture.h"

#include <cstdio>
#include <sstream>

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

std::vector<CRVClientConnection*> RaceFixture::attachDrivers(int n) {
    std::vector<CRVClientConnection*> out;
    for (int i = 1; i <= n; ++i)
        out.push_back(attach("D" + std::to_string(i)));
    return out;
}

void RaceFixture::numberGrid(int n) {
    server().startPoints.gridPoints.assign(size_t(n), StartPoint{});
    for (int i = 0; i < n; ++i)
        server().startPoints.gridPoints[size_t(i)].px = float(i);
}

std::string RaceFixture::deliver(CRVClientConnection* client, Bytes message) {
    return printed(
        [&] { client->onMessage(message.data(), int(message.size()), &client->address); });
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
    const size_t at = text.find(from);
    if (at == std::string::npos)
        return "";
    std::istringstream lines(text.substr(text.rfind('\n', at) + 1));
    std::string out;
    for (std::string line; std::getline(lines, line);)
        out += (stamps ? line : line.substr(line.find(',') + 1)) + "\n";
    return out;
}

std::string RaceFixture::logged(const std::string& kind) {
    std::istringstream lines(log("", false));
    std::string out;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(kind + ","))
            out += line + "\n";
    return out;
}

std::string byClient(const Sent& sent, size_t at) {
    std::string out;
    for (const auto& [client, bytes] : sent)
        out += std::to_string(client->id) + ":" + std::to_string(bytes.at(at)) + " ";
    return out;
}

std::string RaceFixture::results(const std::string& sessionName) {
    return harness->folder.read(resultsPath(sessionName));
}
