#pragma once
// What a server started in a working directory will do, read with the server's own code, plus
// the warnings and errors an operator should see before the event.

#include <nlohmann/json.hpp>
#include <string>

// `dir` is the working directory; `documentsFolder` the one the server would consult first.
// The result holds "errors" and "warnings" arrays beside the findings.
nlohmann::ordered_json checkWorkingDirectory(const std::string& dir,
                                             const std::string& documentsFolder);
// The readable block for the same findings.
std::string describeCheck(const nlohmann::ordered_json& report);
