// rvlive as viewers meet it: the pages in a headless browser against a real server whose drivers
// lap in known times, the host's index, the stream's resume, and bad input.
#include <httplib.h>

#include <future>
#include <regex>

#include "tools/LiveBrowser.h"
#include "tools/ToolRunner.h"

namespace {

// rvlive in a temp folder on a free port, stopped when the object goes.
struct LiveProcess {
    explicit LiveProcess(std::vector<std::string> args) {
        args.insert(args.begin(), {RV_TOOLS_DIR "/rvlive", "--port", std::to_string(port)});
        pid = launch(scratch.path(), args);
        within(3000, [&] { return bool(http.Get("/index.json")); });
    }
    ~LiveProcess() { stop(pid); }
    json get(const std::string& path) {
        auto res = http.Get(path);
        return res && res->status == 200 ? json::parse(res->body) : json();
    }
    int status(const std::string& path) {
        auto res = http.Get(path);
        return res ? res->status : -1;
    }

    TempFolder scratch;
    const uint16_t port = freePort();
    httplib::Client http{"127.0.0.1", port};
    pid_t pid = -1;
};

// The messages of a stream after its clock line, each with its "event" added ("message" or
// "snapshot"), until `enough` says so or 3 s pass.
std::vector<json> readStream(uint16_t port, const std::string& path, const std::string& lastId,
                             const std::function<bool(const json&)>& enough) {
    httplib::Client http("127.0.0.1", port);
    http.set_read_timeout(3);
    httplib::Headers headers;
    if (!lastId.empty())
        headers.emplace("Last-Event-ID", lastId);
    std::string buffer;
    std::vector<json> got;
    http.Get(path, headers, [&](const char* data, size_t size) {
        buffer.append(data, size);
        for (size_t end; (end = buffer.find("\n\n")) != std::string::npos;) {
            const std::string block = buffer.substr(0, end);
            buffer.erase(0, end + 2);
            const size_t at = block.find("data: {");
            if (block.find("event: clock") != std::string::npos || at == std::string::npos)
                continue;
            got.push_back(json::parse(block.substr(at + 6, block.find('\n', at) - at - 6)));
            got.back()["event"] =
                block.find("event: snapshot") == std::string::npos ? "message" : "snapshot";
            if (enough(got.back()))
                return false;
        }
        return true;
    });
    return got;
}

// Each row of the table `id`: its cells' texts, a lap cell marked [sb] or [pb] by its colour.
std::vector<std::string> tableRows(const std::string& dom, const std::string& id) {
    const size_t from = dom.find("<table id=\"" + id + "\"");
    const std::string table = dom.substr(from, dom.find("</table>", from) - from);
    std::vector<std::string> rows;
    const std::regex row("<tr[^>]*>((?:(?!</tr>).)*)</tr>"),
        cell("<td(?: class=\"([^\"]*)\")?[^>]*>(.*?)</td>"), tag("<[^>]*>");
    for (std::sregex_iterator r(table.begin(), table.end(), row), end; r != end; ++r) {
        const std::string cells = (*r)[1];
        if (cells.find("<td") == std::string::npos)
            continue;
        std::string text;
        for (std::sregex_iterator c(cells.begin(), cells.end(), cell); c != end; ++c) {
            const std::string cls = (*c)[1];
            text += (text.empty() ? "" : "|") + std::regex_replace((*c)[2].str(), tag, "");
            for (const std::string mark : {"sb", "pb"})
                if ((" " + cls + " ").find(" " + mark + " ") != std::string::npos)
                    text += "[" + mark + "]";
        }
        rows.push_back(text);
    }
    return rows;
}

std::string url(uint16_t port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string folderId(const std::string& path) {
    return fs::path(path).filename().string();
}

// An event folder without a server: its configuration and an event log the test writes.
struct FakeEvent {
    explicit FakeEvent(const std::string& name, const std::string& at = "") {
        root = at.empty() ? own.path() : at;
        fs::create_directories(root + "/server/logs");
        fs::create_directories(root + "/cfg");
        std::ofstream(root + "/cfg/rvservercfg.ini") << eventConfig(
            "SESSIONS=0\n", {"NAME=" + name, "TRACK=ridge", "PORT=" + std::to_string(freePort())});
    }
    void append(const std::string& text) const {
        std::ofstream(root + "/server/logs/rvserverlog[12_07_21_00].txt", std::ios::app) << text;
    }
    TempFolder own;
    std::string root;
};

const char kPracticeLog[] =
    "0:00:010,START,ridge,short,gt3\n0:00:011,SESSION,Practice,0,0,1,0,0,0,0,600000\n"
    "0:00:012,SESSION_START\n0:01:000,JOIN,Al,7,T,m,g-al,GB\n";

}  // namespace

// Three drivers of known lap times: the order by best lap, the session best in purple where it
// now is and personal bests in green on the laps that set them, gaps and (with ?interval)
// intervals, the time left from the session's own length, a name with markup shown as text. The
// index lists this event and a stopped one, which does not answer.
TEST(LivePage, BrowserShowsTimingColoursGapsTimeLeftAndTheHostsEvents) {
    if (!fs::exists(Browser::kProgram))
        GTEST_SKIP() << "no headless browser (scripts/deps.sh installs chromium)";
    ServerProcess server(eventConfig("SESSIONS=1\n" + session(0, 0, "Warm-up", 0, 30),
                                     {"NAME=Live Cup", "TRACK=oakfield", "MAXCLIENTS=10",
                                      "PORT=%PORT%", "FRONTTIRE=", "REARTIRE="}));
    ASSERT_TRUE(server.started) << server.console();
    FakeEvent stopped("Old Cup");
    stopped.append(kPracticeLog);
    LiveProcess live({"--dir", server.folder.path(), "--dir", stopped.root});
    TestClient al(server.port), bo(server.port), cy(server.port);
    for (auto [peer, name, number] :
         {std::tuple{&al, "Al", 7}, {&bo, "Bo", 12}, {&cy, "<i>Cy", 3}}) {
        peer->sendRaw(connectRequest(
            {.guid = std::string("g-") + name, .userName = name, .raceNumber = uint16_t(number)}));
        ASSERT_TRUE(peer->waitFor(RV_ACCEPTED, 1000));
    }
    bo.sendRaw(lapMessage(1, 91000, 45000, 91000));
    al.sendRaw(lapMessage(1, 90000, 44000, 90000));
    cy.sendRaw(lapMessage(1, 91250, 45500, 91250));
    bo.sendRaw(lapMessage(2, 89500, 44100, 180500));
    cy.sendRaw(lapMessage(2, 92000, 46000, 183250));
    const std::string page = "/e/" + folderId(server.folder.path()) + "/";
    ASSERT_TRUE(within(5000, [&] {
        const json s = live.get(page + "live.json")["state"];
        return s["standings"].size() == 3 && s["standings"][2]["laps"] == 2 &&
               s["event"]["answering"] == true && s["event"]["drivers"] == 3;
    })) << live.get(page + "live.json").dump();

    Browser browser;
    const std::string threeRows = "document.querySelectorAll('#standings tbody tr').length == 3";
    const std::string dom = browser.pageWhen(url(live.port, page), threeRows);
    EXPECT_EQ(tableRows(dom, "standings"),
              (std::vector<std::string>{"1|12|Bo|2||1:29.500[sb]|1:29.500[sb]|0:44.100|",
                                        "2|7|Al|1|+0.500|1:30.000[pb]|1:30.000|0:44.000|",
                                        "3|3|&lt;i&gt;Cy|2|+1.750|1:32.000|1:31.250|0:46.000|"}))
        << dom;
    EXPECT_TRUE(std::regex_search(dom, std::regex(R"(class="clock">(29:\d\d|30:00) left<)")));
    const std::vector<std::string> intervals =
        tableRows(browser.pageWhen(url(live.port, page + "?interval"), threeRows), "standings");
    EXPECT_EQ(intervals.at(2), "3|3|&lt;i&gt;Cy|2|+1.250|1:32.000|1:31.250|0:46.000|");

    const std::vector<std::string> events =
        tableRows(browser.pageWhen(url(live.port, "/"),
                                   "document.querySelectorAll('.clock-cell').length == 2"),
                  "events");
    EXPECT_TRUE(std::regex_match(
        events.at(0),
        std::regex(
            R"(Live Cup\|oakfield\|Warm-up \(practice\)\|(29:\d\d|30:00) left\|3/10\|answering)")))
        << events[0];
    EXPECT_TRUE(std::regex_match(
        events.at(1), std::regex(R"(Old Cup\|ridge\|Practice\|.* left\|\|not answering)")))
        << events[1];
    // Draining, the event answers on but is closed to newcomers.
    ::kill(server.pid, SIGUSR1);
    EXPECT_TRUE(within(5000, [&] {
        return live.get(page + "live.json")["state"]["event"]["access"] == "closed";
    })) << live.get(page + "live.json").dump();
}

// A viewer that comes back with the last id it saw gets exactly what it missed; a line the
// server is still writing waits until it is whole; an id from elsewhere gets a snapshot.
TEST(LiveStream, ResumesWithoutGapsOrRepeatsAndWaitsForWholeLines) {
    FakeEvent event("Resume Cup");
    event.append(kPracticeLog);
    LiveProcess live({"--dir", event.root});
    const std::string path = "/e/" + folderId(event.root) + "/";
    const json first = readStream(live.port, path + "events", "", [](auto&) { return true; }).at(0);
    EXPECT_EQ(first["event"], "snapshot");
    EXPECT_EQ(first["feed"].size(), 4u);
    const std::string seen = first["id"];

    auto idAfter = [&](const std::string& id) {
        std::string now;
        within(3000, [&] { return (now = live.get(path + "live.json")["id"]) != id; });
        return now;
    };
    event.append("0:02:000,JOIN,Bo,12,T,m,g-bo,FR\n");
    std::string last = idAfter(seen);
    event.append("1:31:000,LAP,g-al,1:30:000,0:44:000,1\n1:32:000,LAP,g-b");
    last = idAfter(last);
    EXPECT_EQ(live.get(path + "live.json")["state"]["standings"].size(), 1u) << "half a line waits";
    event.append("o,1:31:000,0:45:000,1\n1:33:000,JUMPSTART,g-bo\n");
    last = idAfter(last);

    auto missed = readStream(live.port, path + "events", seen,
                             [&](const json& m) { return m["id"] == last; });
    std::vector<int> seqs;
    for (const json& m : missed) {
        EXPECT_EQ(m["event"], "message");
        for (const json& item : m["feed"])
            seqs.push_back(item["seq"]);
    }
    EXPECT_EQ(seqs, (std::vector<int>{5, 6, 7}));
    EXPECT_EQ(missed.back()["state"]["standings"][1]["penalties"], json({"jump start"}));
    EXPECT_EQ(
        readStream(live.port, path + "events", "1-1", [](auto&) { return true; }).at(0)["event"],
        "snapshot");
}

// Unknown paths and events are 404; streams beyond the limit 503, while a viewer that never
// reads holds nobody up; a removed event folder leaves the index, a new one joins it, and the
// others carry on.
TEST(LiveStream, RefusesUnknownAndExcessRequestsAndOutlivesAVanishedEvent) {
    TempFolder host;
    FakeEvent a("A Cup", host.path() + "/a"), b("B Cup", host.path() + "/b");
    a.append(kPracticeLog);
    LiveProcess live({"--instances", host.path(), "--max-viewers", "2"});
    ASSERT_TRUE(
        within(3000, [&] { return live.get("/index.json")["state"]["events"].size() == 2; }));
    for (const char* path : {"/e/nope/", "/e/nope/events", "/nothing"})
        EXPECT_EQ(live.status(path), 404) << path;

    std::atomic<bool> idleIn{false}, connected{false}, sawLap{false}, done{false};
    auto idle = std::async(std::launch::async, [&] {  // stops reading after its snapshot
        return readStream(live.port, "/e/a/events", "", [&](auto&) {
            return (idleIn = true) && within(10000, [&] { return bool(done); });
        });
    });
    auto reader = std::async(std::launch::async, [&] {
        return readStream(live.port, "/e/a/events", "", [&](const json& m) {
            connected = true;
            return sawLap = m["state"]["standings"].size() == 1;
        });
    });
    ASSERT_TRUE(within(2000, [&] { return connected && idleIn; }));
    EXPECT_EQ(live.status("/e/a/events"), 503);
    a.append("not an event line\n1:31:000,LAP,g-al,1:30:000,0:44:000,1\n");
    reader.get();
    EXPECT_TRUE(sawLap);
    done = true;

    fs::remove_all(host.path() + "/b");
    FakeEvent c("C Cup", host.path() + "/c");
    EXPECT_TRUE(within(4000, [&] {
        const json events = live.get("/index.json")["state"]["events"];
        return events.size() == 2 && events[1]["name"] == "C Cup";
    }));
    EXPECT_EQ(live.status("/e/b/"), 404);
    EXPECT_EQ(live.get("/e/a/live.json")["state"]["standings"][0]["bestLap"], "1:30.000");
}
