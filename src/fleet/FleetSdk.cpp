#include "fleet/FleetSdk.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

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

size_t discardAnswer(char*, size_t size, size_t count, void*) {
    return size * count;
}

// Ends a request on its way when the server shuts down, rather than waiting out its timeout.
int abortWhenStopping(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(stopping)->load() ? 1 : 0;
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

}  // namespace

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
    return std::make_unique<FleetSdk>(port);
}

FleetSdk::FleetSdk(uint16_t port) : FleetSdk(port, Timing()) {}

FleetSdk::FleetSdk(uint16_t port, const Timing& timing)
    : port_(port), timing_(timing), lastHealth_(-timing.healthIntervalMs) {
    curl_ = curl_easy_init();
    thread_ = std::thread([this] { run(); });
}

FleetSdk::~FleetSdk() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (curl_ != nullptr)
        curl_easy_cleanup(static_cast<CURL*>(curl_));
}

void FleetSdk::ready() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_ = true;
    }
    wake_.notify_all();
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

// In the order the sidecar should hear them: ready before anything else, the shut-down last.
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
    } else {
        return false;
    }
    return true;
}

void FleetSdk::done(const Request& request) {
    if (request.path == "/ready") {
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
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        Request request;
        if (!takeRequest(request)) {
            wake_.wait(lock);
            continue;
        }
        lock.unlock();
        const long status = send(request);
        lock.lock();
        if (status >= 200 && status < 300) {
            done(request);
            retryMs = 0;
        } else if (status != 0) {
            // The sidecar heard it and refused: asking again would get the same answer.
            done(request);
            lock.unlock();
            report(request, "answered " + std::to_string(status));
            lock.lock();
        } else {
            retryMs =
                retryMs == 0 ? timing_.firstRetryMs : std::min(2 * retryMs, timing_.longestRetryMs);
            lock.unlock();
            report(request, "no answer, trying again");
            lock.lock();
            wake_.wait_for(lock, std::chrono::milliseconds(retryMs),
                           [this] { return stopping_.load(); });
        }
    }
}

long FleetSdk::send(const Request& request) {
    CURL* curl = static_cast<CURL*>(curl_);
    if (curl == nullptr)
        return 0;
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + request.path;
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(request.body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discardAnswer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(timing_.requestTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, abortWhenStopping);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &stopping_);
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return status;
}

void FleetSdk::report(const Request& request, const std::string& what) {
    if (stopping_)
        return;
    const uint32_t now = platform::monotonicMs();
    if (reported_ && now - lastReport_ < kReportEveryMs) {
        ++unreported_;
        return;
    }
    std::string more;
    if (unreported_ > 0)
        more = " (" + std::to_string(unreported_) + " more failures since the last line)";
    std::printf("Fleet sidecar: %s %s %s%s\n", request.method.c_str(), request.path.c_str(),
                what.c_str(), more.c_str());
    std::fflush(stdout);
    reported_ = true;
    lastReport_ = now;
    unreported_ = 0;
}
