// rvcheck: reads a working directory as the server will and says what the server will do, with
// the traps of its configuration files.
#include <cstdio>

#include "common/Cli.h"
#include "platform/Platform.h"
#include "rvcheck/WorkingDirectory.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Reads a server working directory with the server's own configuration reader and prints "
        "what the server will do there, with warnings about configuration traps.\n"
        "Exit codes: 0 no errors (warnings allowed), 1 errors, 2 usage. No network use.",
        "rvcheck"};
    std::string dir = ".";
    bool json = false;
    app.add_option("dir", dir, "the working directory (default: the current one)");
    app.add_flag("--json", json, "print one JSON object");
    if (int code = tool::parse(app, argc, argv); code >= 0)
        return code;
    const nlohmann::ordered_json report = checkWorkingDirectory(dir, platform::documentsFolder());
    if (json)
        std::printf("%s\n",
                    report.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    else
        std::printf("%s", describeCheck(report).c_str());
    return report["errors"].empty() ? tool::kOk : tool::kFailed;
}
