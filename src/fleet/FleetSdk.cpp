#include "fleet/FleetSdk.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/Platform.h"

namespace {

bool parsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(text);
    if (value < 1 || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

// Ends a request on its way when the server shuts down, rather than waiting out its timeout.
int abortWhenStopping(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(stopping)->load() ? 1 : 0;
}

// Keeps an answer's body when the request wants it, up to a GameServer's longest.
size_t keepAnswer(char* data, size_t size, size_t count, void* answer) {
    auto* text = static_cast<std::string*>(answer);
    if (text != nullptr && text->size() < FleetSdk::kLongestDocument)
        text->append(data, size * count);
    return size * count;
}

// The watch stream: one GameServer document a line, handed over as each line is complete.
struct WatchSink {
    FleetSdk* sdk;
    bool (FleetSdk::*take)(const std::string&);
    std::string line;
    int junk = 0;
};

size_t takeWatchLines(char* data, size_t size, size_t count, void* sinkPointer) {
    auto* sink = static_cast<WatchSink*>(sinkPointer);
    for (size_t i = 0; i < size * count; ++i) {
        if (data[i] != '\n') {
            // A line without its end in sight is no document; what follows it is dropped too.
            if (sink->line.size() < FleetSdk::kLongestDocument)
                sink->line += data[i];
            continue;
        }
        if (sink->line.find_first_not_of(" \r\t") != std::string::npos)
            sink->junk += (sink->sdk->*sink->take)(sink->line) ? 0 : 1;
        sink->line.clear();
    }
    return size * count;
}

void setDirect(CURL* curl, std::atomic<bool>* stopping) {
    // The sidecar is local, whatever proxy the environment names.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, abortWhenStopping);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, stopping);
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

bool portDeclaration(const std::string& text, FleetPortDeclaration& out) {
    if (text == "Passthrough") {
        out.passthrough = true;
        return true;
    }
    return parsePort(text, out.containerPort);
}

}  // namespace

bool parseFleetGameServer(const std::string& text, FleetGameServer& out) {
    using nlohmann::json;
    json doc = json::parse(text, nullptr, false);
    if (doc.is_object() && doc.contains("result"))
        doc = doc["result"];
    if (!doc.is_object() || !doc.contains("status") || !doc["status"].is_object())
        return false;
    const json& status = doc["status"];
    if (!status.contains("state") || !status["state"].is_string())
        return false;
    FleetGameServer parsed;
    parsed.state = status["state"];
    if (status.contains("ports")) {
        if (!status["ports"].is_array())
            return false;
        for (const json& port : status["ports"]) {
            if (!port.is_object() || !port.contains("port") || !port["port"].is_number_integer() ||
                port["port"] < 1 || port["port"] > 65535)
                return false;
            parsed.ports.push_back(port["port"].get<uint16_t>());
        }
    }
    const json meta = doc.value("object_meta", json::object());
    if (meta.is_object() && meta.contains("annotations") && meta["annotations"].is_object()) {
        const json& annotations = meta["annotations"];
        if (annotations.contains(FleetSdk::kEventAnnotation) &&
            annotations[FleetSdk::kEventAnnotation].is_string())
            parsed.event = annotations[FleetSdk::kEventAnnotation];
    }
    out = parsed;
    return true;
}

std::string fleetLabelValue(const std::string& text) {
    auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    std::string out;
    for (char c : text)
        out += plain(c) || c == '-' || c == '.' ? c : '_';
    out = out.substr(0, 63);
    const size_t first = size_t(std::find_if(out.begin(), out.end(), plain) - out.begin());
    const size_t last = size_t(std::find_if(out.rbegin(), out.rend(), plain) - out.rbegin());
    return first == out.size() ? std::string() : out.substr(first, out.size() - first - last);
}

std::unique_ptr<FleetSdk> FleetSdk::fromEnvironment() {
    std::string text;
    if (!platform::environmentValue(kPortVariable, text))
        return nullptr;
    uint16_t port = 0;
    if (!parsePort(text, port)) {
        std::printf("Fleet sidecar: %s=%s is not a port; running without the sidecar\n",
                    kPortVariable, text.c_str());
        return nullptr;
    }
    auto sdk = std::make_unique<FleetSdk>(port);
    if (platform::environmentValue(kContainerPortVariable, text) && !text.empty() &&
        !portDeclaration(text, sdk->declared))
        std::printf(
            "Fleet sidecar: %s=%s is neither a port nor Passthrough; the port is not "
            "checked\n",
            kContainerPortVariable, text.c_str());
    return sdk;
}

FleetSdk::FleetSdk(uint16_t port) : FleetSdk(port, Timing()) {}

FleetSdk::FleetSdk(uint16_t port, const Timing& timing)
    : port_(port), timing_(timing), lastHealth_(-timing.healthIntervalMs) {
    curl_ = curl_easy_init();
    watchCurl_ = curl_easy_init();
    thread_ = std::thread([this] { run(); });
    watcher_ = std::thread([this] { watch(); });
}

FleetSdk::~FleetSdk() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    watcher_.join();
    for (void* curl : {curl_, watchCurl_})
        if (curl != nullptr)
            curl_easy_cleanup(static_cast<CURL*>(curl));
}

void FleetSdk::ready() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_ = true;
    }
    wake_.notify_all();
}

bool FleetSdk::gameServer(FleetGameServer& out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (gameServerKnown_)
        out = gameServer_;
    return gameServerKnown_;
}

bool FleetSdk::tookGameServer(const std::string& answer) {
    FleetGameServer parsed;
    if (!parseFleetGameServer(answer, parsed))
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gameServer_ = parsed;
        gameServerKnown_ = true;
    }
    return true;
}

void FleetSdk::turn(int64_t now, const FleetState& state) {
    const bool beat = now - lastHealth_ >= timing_.healthIntervalMs;
    const bool clients = state.clients != lastClients_;
    const std::string session = fleetLabelValue(state.session);
    const bool sessionChanged = !sessionSent_ || session != lastSession_;
    const bool finish = state.finished && !shutdownQueued_;
    const bool draining = state.draining && !drainingSent_;
    if (!beat && !clients && !sessionChanged && !finish && !draining)
        return;
    drainingSent_ = drainingSent_ || draining;
    if (beat)
        lastHealth_ = now;
    lastClients_ = state.clients;
    lastSession_ = session;
    sessionSent_ = true;
    shutdownQueued_ = shutdownQueued_ || finish;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        health_ = health_ || beat;
        if (clients)
            labels_["clients"] = std::to_string(state.clients);
        if (sessionChanged)
            labels_["session"] = session;
        // The allocation's selector passes over events that carry this label.
        if (draining)
            labels_["draining"] = "true";
        shutdown_ = shutdown_ || finish;
    }
    wake_.notify_all();
}

// In the order the sidecar should hear them: ready (queued only once the GameServer came) before
// anything else is said, the shut-down after the rest; the GameServer, asked for until it comes,
// never keeps anything else waiting.
bool FleetSdk::takeRequest(Request& request) {
    if (ready_) {
        request = {"POST", "/ready", "{}", "", ""};
    } else if (!labels_.empty()) {
        const auto& [key, value] = *labels_.begin();
        request = {"PUT", "/metadata/label",
                   "{\"key\":" + jsonString(key) + ",\"value\":" + jsonString(value) + "}", key,
                   value};
    } else if (health_) {
        request = {"POST", "/health", "{}", "", ""};
    } else if (shutdown_) {
        request = {"POST", "/shutdown", "{}", "", ""};
    } else if (gameServerWanted_) {
        request = {"GET", "/gameserver", "", "", ""};
    } else {
        return false;
    }
    return true;
}

void FleetSdk::done(const Request& request) {
    if (request.path == "/gameserver") {
        gameServerWanted_ = false;
    } else if (request.path == "/ready") {
        ready_ = false;
    } else if (request.path == "/health") {
        health_ = false;
    } else if (request.path == "/shutdown") {
        shutdown_ = false;
    } else {
        // A newer value that arrived meanwhile is still to be sent.
        auto it = labels_.find(request.label);
        if (it != labels_.end() && it->second == request.value)
            labels_.erase(it);
    }
}

void FleetSdk::run() {
    int retryMs = 0;
    uint32_t failingSince = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        Request request;
        if (!takeRequest(request)) {
            wake_.wait(lock);
            continue;
        }
        lock.unlock();
        std::string answer;
        request.answer = request.method == "GET" ? &answer : nullptr;
        const long status = send(curl_, request, timing_.requestTimeoutMs);
        const std::string name = request.method + " " + request.path + " ";
        const bool taken = status >= 200 && status < 300;
        const bool junk = taken && request.answer != nullptr && !tookGameServer(answer);
        // A sidecar still starting up is asked again; one that refused would refuse again. A
        // beat is never repeated: the next one is due soon.
        const bool again = (junk || status == 0 || status >= 500) && request.path != "/health";
        const uint32_t now = platform::monotonicMs();
        if (again && retryMs == 0)
            failingSince = now;
        // The GameServer is asked for until it comes: the event can do nothing without it.
        const bool givenUp = again && request.answer == nullptr &&
                             now - failingSince >= uint32_t(timing_.giveUpAfterMs);
        if (givenUp)
            report(name + "not taken in " + std::to_string(timing_.giveUpAfterMs / 1000) +
                   " s, given up");
        else if (!again && !taken)
            report(name + (status == 0 ? "no answer" : "answered " + std::to_string(status)));
        else if (again)
            report(name +
                   (junk          ? "answered junk"
                    : status == 0 ? "no answer"
                                  : "answered " + std::to_string(status)) +
                   ", trying again");
        lock.lock();
        if (request.answer != nullptr && !gameServerTried_) {
            gameServerTried_ = true;  // the watch follows from here, whatever this answer was
            wake_.notify_all();
        }
        if (!again || givenUp) {
            done(request);
            retryMs = 0;
            continue;
        }
        retryMs =
            retryMs == 0 ? timing_.firstRetryMs : std::min(2 * retryMs, timing_.longestRetryMs);
        wake_.wait_for(lock, std::chrono::milliseconds(retryMs),
                       [this] { return stopping_.load(); });
    }
}

void FleetSdk::watch() {
    CURL* curl = static_cast<CURL*>(watchCurl_);
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/watch/gameserver";
    int retryMs = 0;
    if (std::unique_lock<std::mutex> lock(mutex_); true)
        wake_.wait(lock, [this] { return stopping_ || gameServerTried_; });
    while (curl != nullptr && !stopping_) {
        WatchSink sink{this, &FleetSdk::tookGameServer, "", 0};
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(timing_.requestTimeoutMs));
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, takeWatchLines);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
        setDirect(curl, &stopping_);
        long status = 0;
        const uint32_t began = platform::monotonicMs();
        const bool ended = curl_easy_perform(curl) == CURLE_OK;
        if (stopping_)
            break;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        std::string what = !ended && status == 0           ? "no answer"
                           : status < 200 || status >= 300 ? "answered " + std::to_string(status)
                                                           : "closed";
        if (sink.junk > 0)
            what += " after " + std::to_string(sink.junk) + " lines of junk";
        report("GET /watch/gameserver " + what + ", watching again");
        // A stream that lasted was sound: the next one is tried soon. One that ends at once,
        // even with news, waits longer each time.
        const bool lasted = platform::monotonicMs() - began >= uint32_t(timing_.longestRetryMs);
        retryMs = lasted || retryMs == 0 ? timing_.firstRetryMs
                                         : std::min(2 * retryMs, timing_.longestRetryMs);
        std::unique_lock<std::mutex> lock(mutex_);
        // What changed while nobody watched is read afresh.
        gameServerWanted_ = true;
        wake_.notify_all();
        wake_.wait_for(lock, std::chrono::milliseconds(retryMs),
                       [this] { return stopping_.load(); });
    }
}

long FleetSdk::send(void* handle, const Request& request, long timeoutMs) {
    CURL* curl = static_cast<CURL*>(handle);
    if (curl == nullptr)
        return 0;
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + request.path;
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    if (request.method == "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(request.body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keepAnswer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, request.answer);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    setDirect(curl, &stopping_);
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return status;
}

void FleetSdk::report(const std::string& what) {
    if (stopping_)
        return;
    std::lock_guard<std::mutex> lock(reportMutex_);
    const uint32_t now = platform::monotonicMs();
    if (reported_ && now - lastReport_ < kReportEveryMs) {
        ++unreported_;
        return;
    }
    std::string more;
    if (unreported_ > 0)
        more = " (" + std::to_string(unreported_) + " more failures since the last line)";
    std::printf("Fleet sidecar: %s%s\n", what.c_str(), more.c_str());
    std::fflush(stdout);
    reported_ = true;
    lastReport_ = now;
    unreported_ = 0;
}
