#include "common/Cli.h"

#include <cstdio>

namespace tool {

int parse(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return kUsage;
    }
    return -1;
}

int fail(const std::string& program, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), printable(message).c_str());
    return kFailed;
}

}  // namespace tool
