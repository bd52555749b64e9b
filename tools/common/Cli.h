#pragma once
// What every companion program shares at its edges: argument parsing with the exit codes scripts
// rely on (0 ok, 1 no answer or bad input, 2 usage), and one-line errors on stderr.

#include <CLI/CLI.hpp>
#include <string>

#include "util/PrintableText.h"

namespace tool {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// Parses the command line. Returns -1 when the program should go on, otherwise the code to exit
// with: 0 after --help, 2 (with CLI11's message on stderr) for a usage error.
int parse(CLI::App& app, int argc, char** argv);

// Prints "NAME: MESSAGE" on stderr as one line and returns 1.
int fail(const std::string& program, const std::string& message);

// Received text is shown as it came but never breaks the one-line rule.
using ::printable;

}  // namespace tool
