#pragma once
// What rvlive answers over HTTP: the host's index and each event's page, their streams and their
// JSON for scripts, and the page assets. Pages only: nothing here changes a server.

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "rvlive/LiveHost.h"

namespace httplib {
class Server;
}

namespace live {

struct StreamLimits {
    int maxViewers = 1000;  // open streams in all; more are refused with 503
    // Open streams from one address other than loopback, so that one sender cannot take every
    // place; viewers behind a proxy on this host all arrive from loopback and the proxy limits.
    int maxViewersPerAddress = 100;
    int keepAliveMs = 10000;          // a comment line this often, so that a gone viewer is noticed
    std::function<int64_t()> wallMs;  // the clock a page sets its countdowns by
};

// Open streams, shared by every page's stream.
struct Viewers {
    std::atomic<int> open{0};
    std::mutex mutex;
    std::map<std::string, int> byAddress;  // remote addresses other than loopback
    std::atomic<uint64_t> slowDropped{0};  // viewers that fell behind every held update
};

void addLiveRoutes(httplib::Server& http, LiveHost& host, const StreamLimits& limits,
                   Viewers& viewers);

}  // namespace live
