// rvendurance: a whole event of many hours run at full speed on the server's own code, with the
// checks a weekend of hosting must pass. Exit code 0 when every check holds, 1 otherwise.
#include <unistd.h>
#include <cstdio>

#include "common/Cli.h"
#include "rvendurance/Endurance.h"

namespace {

constexpr const char* kProgram = "rvendurance";

void printFigures(std::FILE* out, const char* label, const EnduranceFigures& f) {
    const EnduranceCounts& c = f.counts;
    std::fprintf(
        out,
        "%s %.1f simulated hours in %.1f s (%.2f simulated hours per wall second), "
        "%llu turns, %llu datagrams\n"
        "  joins %llu (back as before %llu, as someone new %llu), sign-offs %llu, "
        "fell silent %llu\n"
        "  laps %llu (pit stops %llu), chat lines %llu, votes %llu, flags %llu, "
        "strangers %llu\n",
        label, f.simulatedHours, f.wallSeconds,
        f.wallSeconds > 0 ? f.simulatedHours / f.wallSeconds : 0.0, (unsigned long long)f.turns,
        (unsigned long long)c.messages, (unsigned long long)c.joins,
        (unsigned long long)c.rejoinsOld, (unsigned long long)c.rejoinsNew,
        (unsigned long long)c.signOffs, (unsigned long long)c.silences, (unsigned long long)c.laps,
        (unsigned long long)c.pitStops, (unsigned long long)c.chats, (unsigned long long)c.votes,
        (unsigned long long)c.flags, (unsigned long long)c.strangers);
    std::fflush(out);
}

}  // namespace

int main(int argc, char** argv) {
    EnduranceOptions options;
    options.folder = "build/endurance";
    CLI::App app{
        "Runs a generated event of many hours on the server's own code at full speed and "
        "checks memory, every list's length and every results file at its end."};
    app.add_option("--hours", options.hours, "simulated hours (default 24)")
        ->check(CLI::Range(0.1, 1000.0));
    app.add_option("--folder", options.folder, "working folder, made afresh");
    app.add_option("--drivers", options.cast.drivers, "drivers (default 32)")
        ->check(CLI::Range(2, 32));
    app.add_option("--spectators", options.cast.spectators, "spectators (default 3)")
        ->check(CLI::Range(0, 8));
    app.add_option("--rate", options.cast.updatesPerSecond,
                   "car updates a second from each driver (default 10)")
        ->check(CLI::Range(1, 100));
    app.add_option("--seed", options.cast.seed, "seed of the event's choices");
    std::string console = "/dev/null";
    app.add_option("--console", console, "where the server's console goes (default /dev/null)");
    if (const int code = tool::parse(app, argc, argv); code >= 0)
        return code;

    // The server's console would fill disks over a day; this program's lines go to the
    // terminal it was started from.
    std::FILE* out = fdopen(dup(STDOUT_FILENO), "w");
    if (out == nullptr || std::freopen(console.c_str(), "w", stdout) == nullptr)
        return tool::fail(kProgram, "cannot set the server's console aside");
    const EnduranceFigures figures =
        runEndurance(options, [out](const EnduranceFigures& f) { printFigures(out, "after", f); });
    printFigures(out, "event of", figures);
    std::fprintf(out,
                 "  sessions %d, results files %d, resident %lld KiB after the first hour, "
                 "%lld KiB at the end\n",
                 figures.sessionsStarted, figures.resultsFiles,
                 (long long)figures.firstHourResidentKiB, (long long)figures.endResidentKiB);
    for (const std::string& failure : figures.failures)
        std::fprintf(out, "FAILED: %s\n", failure.c_str());
    std::fprintf(
        out, "%s\n",
        figures.failures.empty() ? "endurance: every check held" : "endurance: checks failed");
    std::fclose(out);
    return figures.failures.empty() ? tool::kOk : tool::kFailed;
}
