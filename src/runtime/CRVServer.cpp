#include "runtime/CRVServer.h"

#include <cstdio>
#include <string>
#include <vector>

#include "admission/CRVClientConnection.h"
#include "fleet/FleetSdk.h"
#include "platform/Platform.h"
#include "records/ServerStatistics.h"
#include "transport/Clock.h"

CRVServer::CRVServer() : CRVServer(ServerEnvironment{}) {}

CRVServer::CRVServer(const ServerEnvironment& env)
    : clock(env.clock),
      root(env.root),
      documentsFolder(env.documentsFolder),
      localTime(env.localTime ? env.localTime : platform::localTimeText),
      feed(env.feed),
      outputFolder(env.outputFolder),
      files(env.files != nullptr ? *env.files : platform::systemFiles()),
      writeFaults([this] { return serverTime; }),
      wholeFiles(files, writeFaults) {
    if (clock == nullptr) {
        ownClock_ = std::make_unique<SystemClock>();
        clock = ownClock_.get();
        documentsFolder = platform::documentsFolder();
    }
    statistics = std::make_unique<ServerStatistics>(router.traffic, outputPath("serverStats.txt"),
                                                    files, &writeFaults);
}

CRVServer::~CRVServer() {
    shutdown();
}

std::string CRVServer::path(const std::string& relative) const {
    return root + relative;
}

std::string CRVServer::outputPath(const std::string& relative) const {
    if (outputFolder.empty())
        return path(relative);
    return outputFolder + relative.substr(relative.rfind('/') + 1);
}

void CRVServer::printHostAddress() {
    std::string address;
    std::string name;
    int error = 0;
    if (!platform::hostName(name, error)) {
        std::fprintf(stderr, "Error %d when getting local host name.\n", error);
    } else {
        std::printf("Host name is %s.\n", name.c_str());
        std::vector<std::string> addresses;
        if (!platform::hostAddresses(name, addresses) || addresses.empty()) {
            std::fprintf(stderr, "Yow! Bad host lookup.\n");
        } else {
            for (size_t i = 0; i < addresses.size(); ++i)
                std::printf("Address %d: %s\n", int(i), addresses[i].c_str());
            address = addresses[0];
        }
    }
    std::printf("RUNNING @ %s PORT %d\n", address.c_str(), config.port);
}

void CRVServer::printBandwidthEstimate() {
    // Console information only: the figures assume the fixed 60 ms output period.
    const int hz = 1000 / 60;
    const double k = double(hz * 51) / 1024;
    std::printf("One packet=%d %d %d %d\n", 51, 51, 17, 21);
    std::printf("1 car %dhz send = %f kByte (%f kb)\n", hz, k, 8 * k);
    std::printf("Server output at %dHz\n", hz);
    std::printf("6 cars=%.1fKB (%.1fKb)\n", 30 * k, 8 * 30 * k);
    std::printf("8 cars=%.1f (%.1fKb)\n", 56 * k, 8 * 56 * k);
    std::printf("10 cars=%.1f (%.1fKb)\n", 90 * k, 8 * 90 * k);
    std::printf("15 cars=%.1f (%.1fKb)\n", 210 * k, 8 * 210 * k);
    std::printf("20 cars=%.1f (%.1fKb)\n", 380 * k, 8 * 380 * k);
    std::printf("\nServer output with MEGAPACKETS at %dHz\n", hz);
    double six = double(hz * 156) / 1024 * 6;
    std::printf("6 cars=%.1fKB (%.1fKb)\n", six, 8 * six);
    double ten = double(hz * 237) / 1024 * 10;
    std::printf("10 cars=%.1fKB (%.1fKb)\n", ten, 8 * ten);
    std::printf("PSIZE=%d\n", 324);
    double fifteen = double(hz * 352) / 1024 * 15;
    std::printf("15 cars=%.1fKB (%.1fKb)\n", fifteen, 8 * fifteen);
}

void CRVServer::initialize() {
    startTick = clock->tickCount();
    std::printf("***** rvServer v1.2.0 ******\n");
    printHostAddress();

    router.attach(this, [this] { return serverTime; });
    router.socket.setClock(clock);
    router.socket.setLocalPort(config.port);
    if (feed != nullptr) {
        router.socket.attachFeed(feed);
    } else {
        router.socket.init(true);
    }
    router.socket.addListener(&router);

    system.initHighPerformanceTimer();
    startTime = clock->timeMs();
    printBandwidthEstimate();

    race.newSession();
    race.maxValidLaps = ServerConfig::kMaxValidLaps;
    joinCounter = 1;

    // Offline the messages come from a recording already; recording them again would replace it.
    if (feed == nullptr)
        startReplayRecorder();
    std::printf("Initializing message router\n");
    serverTime = int64_t(uint32_t(clock->timeMs() - startTime));

    const std::string logName = CRVServerLogger::fileNameFor(localTimeText("%m_%d_%H_%M"));
    // A start in the same minute as the last one (a restart after a crash) keeps that run's log.
    keepEarlier(outputPath(logName), "event log");
    logger.open(
        logName, outputPath(logName), [this] { return serverTime; }, files, &writeFaults);
    logger.log("START," + config.track + "," + config.configuration + "," + config.car, 0);
    loadVoteOptions();
    openBanList();
    // Ready only with the port bound: a server that could not bind it sends no beats either, so
    // the fleet replaces it. An offline replay is no event a fleet could send drivers to.
    if (feed == nullptr && router.socket.boundPort() != 0)
        fleet = FleetSdk::fromEnvironment();
    // Under a fleet host the first session begins when the event is allocated (stepFleet).
    holding = fleet != nullptr;
    if (!holding)
        evolveSession();
    if (feed == nullptr && router.socket.boundPort() != 0) {
        service = std::make_unique<ServiceStatus>();
        service->ready();
    } else if (feed == nullptr) {
        // The server runs on without its port, but the service manager must not take it for up.
        platform::alert("rvserver", ("UDP port " + std::to_string(config.port) +
                                     " could not be bound: no client can reach this server")
                                        .c_str());
    }
}

void CRVServer::tellFleet() {
    const SessionRecord* session = current();
    fleet->turn(serverTime, {int(clients.size()), session != nullptr ? session->name : "",
                             sequenceFinished && config.shutdownWhenFinished, draining.active});
}

void CRVServer::flushOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    logger.flush();
    if (statistics)
        statistics->flush();
    if (recorder)
        recorder->flush();
}

void CRVServer::keepEarlier(const std::string& file, const char* what) {
    const std::string kept = platform::keepAside(files, file, true);
    if (!kept.empty())
        std::printf("The earlier %s is kept as %s\n", what, kept.c_str());
}

void CRVServer::update() {
    releaseRemovedClients();
    serverTime = int64_t(uint32_t(clock->timeMs() - startTime));
    if (serverTime - lastFlush > kFlushEveryMs) {
        lastFlush = serverTime;
        flushOutput();
    }
    offerCarStates();
    router.update();
    updateStartSequence();
    checkLostClients();
    stepBanList();
    checkSessionTime();
    wholeFiles.retry();
    stepReplayPlayback();
    if (statistics)
        statistics->update(serverTime);
    watchDraining();
    if (fleet)
        stepFleet();
    if (service)
        service->turn(*this, serverTime);
}

void CRVServer::shutdown() {
    if (shutdownDone_)
        return;
    shutdownDone_ = true;
    if (service)
        service->stopping();
    fleet.reset();
    statistics.reset();
    closeReplayRecorder();
    unregisterFromLobby();
    for (CRVClientConnection* client : clients)
        delete client;
    clients.clear();
    releaseRemovedClients();
    rankingList.clear();
    qualifyList.clear();
    startPoints.clear();
    flushOutput();
}

bool CRVServer::onReliableResend(const PendingReliable&) {
    std::printf("*************** CRVServer::onReliableResend ***************\n");
    return true;
}
