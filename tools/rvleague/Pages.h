#pragma once
// The league's pages: leaderboards, driver records and championship tables, each as HTML and as
// JSON, rendered by the same code for the operator's web server and for a static export. Every
// text that came from a client is escaped.

#include <httplib.h>

#include <string>

#include "rvleague/Repository.h"

// Serves the pages under /league/ (index.html, leaderboard/T/C/CAR.html, driver/GUID.html,
// championship/NAME.html, and each .json). Requests are answered one at a time on `repository`,
// which must outlive the server.
void addLeagueRoutes(httplib::Server& server, Repository& repository);

// Writes the same pages under `folder`; false with `error` when a file cannot be written.
bool exportLeaguePages(Repository& repository, const std::string& folder, int& pages,
                       std::string& error);

// A text as one safe path segment: letters, digits, "." and "-" stay, every other byte is "_XX".
std::string pageName(const std::string& text);
std::string fromPageName(const std::string& name);
