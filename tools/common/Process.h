#pragma once
// Starting, stopping and watching the process under measurement: its CPU time and resident
// memory come from /proc, as an operator's tools would read them.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Starts argv[0] in `folder` with its console on console.txt there and no documents folder of
// its own, so only the folder's configuration counts. Returns the process id, or -1.
pid_t launch(const std::string& folder, const std::vector<std::string>& argv);
// Asks the process to close (as the console's close event does) and waits; kills it after 3 s.
void stop(pid_t pid);

struct ProcessSample {
    double cpuSeconds = 0;  // user + system
    // Times the process was put on a core: each is a wake-up of one of its threads.
    unsigned long long wakeUps = 0;
    long rssKiB = 0;
    uint64_t wallMicros = 0;
};
bool sampleProcess(pid_t pid, ProcessSample& out);

// Percent of one core between two samples.
double cpuPercent(const ProcessSample& from, const ProcessSample& to);
// Times per second the process was put on a core between two samples.
double wakeUpsPerSecond(const ProcessSample& from, const ProcessSample& to);

// Whether a server on loopback `port` answers a status query within `ms` (asked again every
// 50 ms): a started server is one that answers, whatever its console says so far.
bool answersStatus(uint16_t port, int ms);

// A UDP port nobody holds right now.
uint16_t freePort();
// One line naming the machine: CPU model, cores, kernel.
std::string machineDescription();

// The measured event: the demo track with room for 32 clients and one ten-hour practice that
// starts at once, so no countdown or session change disturbs a run. CR LF line ends.
std::string measuredEventConfig(uint16_t port);
