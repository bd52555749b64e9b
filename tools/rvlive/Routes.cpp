#include "rvlive/Routes.h"

#include <httplib.h>

#include "rvlive/PageAssets.h"

using nlohmann::ordered_json;

namespace live {

namespace {

constexpr char kJson[] = "application/json";

std::string dump(const ordered_json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void notFound(httplib::Response& res, const std::string& what) {
    res.status = 404;
    res.set_content(what + "\n", "text/plain; charset=utf-8");
}

// Takes a stream's place for the viewer at `from`; false when none is left.
bool admit(const std::string& from, const StreamLimits& limits, Viewers& viewers) {
    if (viewers.open.fetch_add(1) >= limits.maxViewers) {
        viewers.open.fetch_sub(1);
        return false;
    }
    if (from.rfind("127.", 0) == 0 || from == "::1")
        return true;
    std::lock_guard lock(viewers.mutex);
    if (viewers.byAddress[from] < limits.maxViewersPerAddress) {
        viewers.byAddress[from]++;
        return true;
    }
    viewers.open.fetch_sub(1);
    return false;
}

void leave(const std::string& from, Viewers& viewers) {
    viewers.open.fetch_sub(1);
    std::lock_guard lock(viewers.mutex);
    auto it = viewers.byAddress.find(from);
    if (it != viewers.byAddress.end() && --it->second <= 0)
        viewers.byAddress.erase(it);
}

// Server-sent events from `stream`: what the viewer missed (or a snapshot), then each update as
// it is released. `keep` holds the stream's owner for as long as the viewer stays.
void serveStream(Broadcast& stream, std::shared_ptr<void> keep, const httplib::Request& req,
                 httplib::Response& res, const StreamLimits& limits, Viewers& viewers) {
    if (!admit(req.remote_addr, limits, viewers)) {
        res.status = 503;
        res.set_header("Retry-After", "30");
        res.set_content("too many viewers\n", "text/plain; charset=utf-8");
        return;
    }
    auto at = std::make_shared<uint64_t>(0);
    auto pending = std::make_shared<std::vector<Broadcast::Text>>(
        stream.catchUp(req.get_header_value("Last-Event-ID"), *at));
    // The viewer's clock may differ from rvlive's: the page sets its countdowns by this one.
    pending->insert(pending->begin(),
                    std::make_shared<const std::string>("retry: 2000\nevent: clock\ndata: " +
                                                        std::to_string(limits.wallMs()) + "\n\n"));
    res.set_header("Cache-Control", "no-cache");
    res.set_chunked_content_provider(
        "text/event-stream",
        [&stream, &viewers, keep, at, pending, keepAliveMs = limits.keepAliveMs](
            size_t, httplib::DataSink& sink) {
            std::vector<Broadcast::Text> out;
            out.swap(*pending);
            if (out.empty()) {
                stream.waitAfter(*at, keepAliveMs);
                if (stream.closed()) {
                    sink.done();
                    return true;
                }
                // A viewer so far behind that its updates are no longer held is dropped; its
                // browser comes back with its last id and gets a snapshot.
                if (!stream.next(*at, out)) {
                    viewers.slowDropped++;
                    return false;
                }
                if (out.empty())
                    out.push_back(std::make_shared<const std::string>(":\n\n"));
            }
            for (const auto& text : out)
                if (!sink.write(text->data(), text->size()))
                    return false;
            return true;
        },
        [&viewers, from = req.remote_addr](bool) { leave(from, viewers); });
}

}  // namespace

void addLiveRoutes(httplib::Server& http, LiveHost& host, const StreamLimits& limits,
                   Viewers& viewers) {
    http.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kIndexPage, "text/html; charset=utf-8");
    });
    http.Get("/assets/live.css", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kPageStyle, "text/css; charset=utf-8");
    });
    http.Get("/assets/live.js", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kPageScript, "text/javascript; charset=utf-8");
    });
    http.Get("/events", [&](const httplib::Request& req, httplib::Response& res) {
        serveStream(host.index(), nullptr, req, res, limits, viewers);
    });
    http.Get("/index.json", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(dump(host.index().latest()), kJson);
    });
    // The first event's state, where scripts written for a single event look.
    http.Get("/live.json", [&](const httplib::Request&, httplib::Response& res) {
        const auto events = host.events();
        if (events.empty())
            return notFound(res, "no event");
        res.set_content(dump(events.front()->stream().latest()), kJson);
    });
    http.Get(R"(/e/([A-Za-z0-9_-]+))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_redirect(req.path + "/");
    });
    http.Get(R"(/e/([A-Za-z0-9_-]+)/(|events|live\.json))",
             [&](const httplib::Request& req, httplib::Response& res) {
                 const auto event = host.find(req.matches[1]);
                 if (!event)
                     return notFound(res, "no such event");
                 const std::string what = req.matches[2];
                 if (what.empty())
                     res.set_content(kEventPage, "text/html; charset=utf-8");
                 else if (what == "live.json")
                     res.set_content(dump(event->stream().latest()), kJson);
                 else
                     serveStream(event->stream(), event, req, res, limits, viewers);
             });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 404 && res.body.empty())
            notFound(res, "not found");
    });
}

}  // namespace live
