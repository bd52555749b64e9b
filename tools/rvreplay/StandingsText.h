#pragma once

#include <string>

class CRVServer;

// The current session's standings as a table, in the order its results file would list them:
// a line naming the session and the server time, then one line per client.
std::string standingsText(const CRVServer& server);
