#include "rvlive/LiveEvent.h"

#include <cstdio>
#include <random>

#include "common/Endpoint.h"
#include "common/OperatorMessages.h"
#include "platform/Platform.h"
#include "runtime/ServerConfig.h"
#include "runtime/ZTINIReader.h"

using nlohmann::ordered_json;

namespace live {

LiveEvent::LiveEvent(std::string id, EventFolder folder, const LiveOptions& options,
                     Broadcast::Clock clock)
    : id_(std::move(id)),
      folder_(std::move(folder)),
      options_(options),
      tail_(folder_.root + "server/logs"),
      model_(options.chat),
      stream_(std::move(clock), options.delayMs) {
    readConfiguration();
}

void LiveEvent::readConfiguration() {
    ZTINIReader ini;
    // An instance runs with its own folder's configuration; a folder named on its own is read
    // the way its server reads it.
    const std::string documents = folder_.instance ? "" : platform::documentsFolder();
    if (loadConfigurationFile(ini, documents, folder_.root).empty())
        return;
    ServerConfig config;
    std::vector<SessionRecord> sessions;
    readServerConfiguration(ini, config, sessions);
    std::lock_guard lock(statusMutex_);
    name_ = config.name;
    track_ = config.track;
    maxClients_ = config.maxClients;
    configured_ = true;
    std::string error;
    const std::string address =
        options_.server.empty() ? "127.0.0.1:" + std::to_string(config.port) : options_.server;
    serverKnown_ = tool::resolveEndpoint(address, server_, error);
}

void LiveEvent::askStatus(tool::Asker& asker, int waitMs) {
    SocketAddress server;
    {
        std::lock_guard lock(statusMutex_);
        if (!serverKnown_)
            return;
        server = server_;
    }
    const uint32_t token = std::random_device{}();
    const tool::Answer a = asker.ask(
        server, tool::statusQuery(token), waitMs, 0,
        [token](const std::vector<uint8_t>& answer) { return tool::checkStatus(answer, token); });
    std::lock_guard lock(statusMutex_);
    answering_ = a.ok;
    if (a.ok) {
        const tool::ServerStatus s = tool::readStatus(a.bytes);
        clients_ = s.clients;
        maxClients_ = s.maxClients;
        access_ = s.access;
    }
}

ordered_json LiveEvent::eventJson() const {
    std::lock_guard lock(statusMutex_);
    return {
        {"id", id_},
        {"name", name_},
        {"track", track_},
        {"answering", answering_},
        {"drivers", answering_ ? ordered_json(clients_) : ordered_json(nullptr)},
        {"access", answering_ ? ordered_json(tool::accessName(access_)) : ordered_json(nullptr)},
        {"maxClients", maxClients_},
        {"hasLog", tail_.hasLog()},
        {"delay", options_.delayMs / 1000}};
}

void LiveEvent::update() {
    if (!configured_)
        readConfiguration();
    LogTail::News news = tail_.poll();
    if (news.restarted) {
        model_.clear();
        origin_.reset();
    }
    if (news.origin && (!origin_ || *news.origin < *origin_)) {
        origin_ = news.origin;
        model_.setOrigin(*origin_);
    }
    for (const LogEvent& e : news.events)
        model_.apply(e);
    // Counted once per look, so that a log full of foreign text prints a line a turn at most.
    if (news.skippedLines > 0)
        std::printf("rvlive: %s: %d lines that are not event lines left out\n", id_.c_str(),
                    news.skippedLines);
    ordered_json state = model_.state();
    state["event"] = eventJson();
    ordered_json feed = model_.takeFeed();
    std::string text = state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (text != published_ || !feed.empty() || news.restarted) {
        published_ = std::move(text);
        stream_.publish(std::move(state), std::move(feed), news.restarted);
    } else {
        stream_.release();
    }
}

ordered_json LiveEvent::summary() const {
    ordered_json latest = stream_.latest();
    const ordered_json& state = latest["state"];
    std::lock_guard lock(statusMutex_);
    if (state.is_null())
        return {{"id", id_},
                {"name", name_},
                {"track", track_},
                {"answering", false},
                {"session", nullptr}};
    ordered_json line = state["event"];
    line["session"] = state["session"];
    line["leaderLaps"] = state["leaderLaps"];
    return line;
}

}  // namespace live
