#include "rvleague/Pages.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>

#include "rvleague/Queries.h"

using nlohmann::ordered_json;
namespace fs = std::filesystem;

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        const char* entity = c == '<'    ? "&lt;"
                             : c == '>'  ? "&gt;"
                             : c == '&'  ? "&amp;"
                             : c == '"'  ? "&quot;"
                             : c == '\'' ? "&#39;"
                                         : nullptr;
        if (entity != nullptr)
            out += entity;
        else
            out.push_back(c);
    }
    return out;
}

std::string textOf(const ordered_json& v) {
    if (v.is_null())
        return "";
    return v.is_string() ? v.get<std::string>() : v.dump();
}

std::string cell(const ordered_json& v) {
    return "<td>" + escaped(textOf(v)) + "</td>";
}

std::string link(const std::string& href, const std::string& text) {
    return "<a href=\"" + escaped(href) + "\">" + escaped(text) + "</a>";
}

// `root` leads from the page back to the league's top folder.
std::string page(const std::string& root, const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escaped(title) +
           "</title>\n<style>body{font-family:sans-serif}table{border-collapse:collapse}"
           "td,th{padding:2px 8px;border-bottom:1px solid #ccc}</style></head>\n<body><p>" +
           link(root + "index.html", "League") + "</p><h1>" + escaped(title) + "</h1>\n" + body +
           "</body></html>\n";
}

std::string boardPath(const std::string& track, const std::string& configuration,
                      const std::string& car) {
    return "leaderboard/" + pageName(track) + "/" + pageName(configuration) + "/" + pageName(car);
}

std::string leaderboardHtml(const ordered_json& b) {
    std::string body =
        "<table><tr><th>Pos</th><th>Driver</th><th>Best lap</th><th>Server</th>"
        "<th>Date</th></tr>\n";
    for (const ordered_json& e : b["entries"])
        body +=
            "<tr>" + cell(e["position"]) + "<td>" +
            link("../../../driver/" + pageName(textOf(e["guid"])) + ".html", textOf(e["name"])) +
            "</td>" + cell(e["best_lap"]) + cell(e["server"]) + cell(e["date"]) + "</tr>\n";
    return page("../../../",
                textOf(b["track"]) + " " + textOf(b["configuration"]) + ", " + textOf(b["car"]),
                body + "</table>\n");
}

std::string driverHtml(const ordered_json& d) {
    std::string body = "<p>Team " + escaped(textOf(d["team"])) + " &middot; " +
                       escaped(textOf(d["events"])) + " events &middot; " +
                       escaped(textOf(d["wins"])) +
                       " wins</p>\n<h2>Personal bests</h2>\n<table><tr><th>Track</th>"
                       "<th>Configuration</th><th>Car</th><th>Best lap</th><th>Date</th></tr>\n";
    for (const ordered_json& p : d["personal_bests"])
        body += "<tr>" + cell(p["track"]) + cell(p["configuration"]) + cell(p["car"]) +
                cell(p["best_lap"]) + cell(p["date"]) + "</tr>\n";
    body +=
        "</table>\n<h2>Results</h2>\n<table><tr><th>Date</th><th>Server</th><th>Track</th>"
        "<th>Session</th><th>Pos</th><th>Laps</th><th>Best lap</th></tr>\n";
    for (const ordered_json& r : d["results"])
        body += "<tr>" + cell(r["date"]) + cell(r["server"]) + cell(r["track"]) +
                cell(r["session"]) + cell(r["position"]) + cell(r["laps"]) + cell(r["best_lap"]) +
                "</tr>\n";
    return page("../", textOf(d["name"]), body + "</table>\n");
}

std::string championshipHtml(const ordered_json& c) {
    std::string body = "<p>" + escaped(textOf(c["rounds"])) +
                       " rounds</p>\n<table><tr><th>Pos</th><th>Driver</th><th>Points</th>"
                       "<th>Wins</th></tr>\n";
    for (const ordered_json& s : c["standings"])
        body += "<tr>" + cell(s["position"]) + "<td>" +
                link("../driver/" + pageName(textOf(s["guid"])) + ".html", textOf(s["name"])) +
                "</td>" + cell(s["points"]) + cell(s["wins"]) + "</tr>\n";
    return page("../", textOf(c["name"]), body + "</table>\n");
}

std::string indexHtml(const ordered_json& all, const std::vector<std::string>& championships) {
    std::string body = "<h2>Leaderboards</h2>\n<ul>\n";
    for (const ordered_json& b : all["boards"])
        body +=
            "<li>" +
            link(boardPath(textOf(b["track"]), textOf(b["configuration"]), textOf(b["car"])) +
                     ".html",
                 textOf(b["track"]) + " " + textOf(b["configuration"]) + ", " + textOf(b["car"])) +
            "</li>\n";
    body += "</ul>\n<h2>Championships</h2>\n<ul>\n";
    for (const std::string& name : championships)
        body += "<li>" + link("championship/" + pageName(name) + ".html", name) + "</li>\n";
    return page("", "League", body + "</ul>\n");
}

ordered_json championshipByName(Repository& r, const std::string& name) {
    ChampionshipRules rules;
    std::string error;
    const std::string text = championshipText(r, name);
    if (text.empty() || !readChampionshipRules(text, rules, error))
        return nullptr;
    return championship(r, rules);
}

// One page of the league by its path below the league's folder ("driver/X.json"): the body and
// its content type, or an empty body when there is no such page.
std::pair<std::string, std::string> render(Repository& r, const std::string& path) {
    const bool json = path.ends_with(".json");
    if (!json && !path.ends_with(".html"))
        return {};
    const std::string stem = path.substr(0, path.size() - (json ? 5 : 5));
    std::vector<std::string> parts;
    for (size_t at = 0; at <= stem.size();) {
        const size_t slash = std::min(stem.find('/', at), stem.size());
        parts.push_back(stem.substr(at, slash - at));
        at = slash + 1;
    }
    ordered_json doc;
    std::string html;
    if (parts.size() == 1 && parts[0] == "index") {
        doc = boards(r);
        doc["championships"] = championshipNames(r);
        html = indexHtml(doc, championshipNames(r));
    } else if (parts.size() == 4 && parts[0] == "leaderboard") {
        doc = leaderboard(
            r, {fromPageName(parts[1]), fromPageName(parts[2]), fromPageName(parts[3]), false});
        html = leaderboardHtml(doc);
    } else if (parts.size() == 2 && parts[0] == "driver") {
        doc = driverRecord(r, fromPageName(parts[1]));
        if (doc.is_null())
            return {};
        html = driverHtml(doc);
    } else if (parts.size() == 2 && parts[0] == "championship") {
        doc = championshipByName(r, fromPageName(parts[1]));
        if (doc.is_null())
            return {};
        html = championshipHtml(doc);
    } else {
        return {};
    }
    if (json)
        return {doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                "application/json"};
    return {html, "text/html; charset=utf-8"};
}

}  // namespace

std::string pageName(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '.' || c == '-') {
            out.push_back(char(c));
        } else {
            out.push_back('_');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    // "." and ".." would name folders, not pages.
    return out == "." || out == ".." || out.empty() ? "_" + out : out;
}

std::string fromPageName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '_' && i + 2 < name.size() && std::isxdigit((unsigned char)name[i + 1]) &&
            std::isxdigit((unsigned char)name[i + 2])) {
            out.push_back(char(std::stoi(name.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else if (name[i] != '_') {
            out.push_back(name[i]);
        }
    }
    return out;
}

void addLeagueRoutes(httplib::Server& server, Repository& repository) {
    auto lock = std::make_shared<std::mutex>();
    server.Get("/league", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/league/index.html");
    });
    server.Get("/league/", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/league/index.html");
    });
    server.Get(R"(/league/(.+))", [&repository, lock](const httplib::Request& req,
                                                      httplib::Response& res) {
        std::pair<std::string, std::string> out;
        try {
            std::lock_guard<std::mutex> one(*lock);
            out = render(repository, req.matches[1].str());
        } catch (const LeagueError& e) {
            res.status = 503;
            res.set_content(std::string("league database: ") + e.what() + "\n", "text/plain");
            return;
        }
        if (out.first.empty()) {
            res.status = 404;
            res.set_content("no such league page\n", "text/plain");
            return;
        }
        res.set_content(out.first, out.second.c_str());
    });
}

bool exportLeaguePages(Repository& r, const std::string& folder, int& pages, std::string& error) {
    pages = 0;
    std::vector<std::string> paths{"index"};
    const ordered_json all = boards(r);  // held here: the loop reads inside it
    for (const ordered_json& b : all["boards"])
        paths.push_back(
            boardPath(textOf(b["track"]), textOf(b["configuration"]), textOf(b["car"])));
    for (const SqlRow& row : r.query("SELECT guid FROM drivers ORDER BY guid"))
        paths.push_back("driver/" + pageName(row.text(0)));
    for (const std::string& name : championshipNames(r))
        paths.push_back("championship/" + pageName(name));
    for (const std::string& path : paths) {
        for (const char* ext : {".html", ".json"}) {
            const auto [body, type] = render(r, path + ext);
            const fs::path file = fs::path(folder) / (path + ext);
            std::error_code ec;
            fs::create_directories(file.parent_path(), ec);
            std::ofstream out(file, std::ios::binary);
            out << body;
            if (!out.flush()) {
                error = "cannot write " + file.string();
                return false;
            }
            ++pages;
        }
    }
    return true;
}
