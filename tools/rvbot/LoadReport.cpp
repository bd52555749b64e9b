#include "rvbot/LoadReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "protocol/RaceLayouts.h"

Distribution distributionOf(std::vector<double> samples) {
    Distribution d;
    d.count = samples.size();
    if (samples.empty())
        return d;
    std::sort(samples.begin(), samples.end());
    auto rank = [&](double p) {
        size_t r = size_t(std::ceil(p * double(samples.size())));
        return samples[r == 0 ? 0 : r - 1];
    };
    d.p50 = rank(0.50);
    d.p99 = rank(0.99);
    d.max = samples.back();
    return d;
}

LoadReport summarize(const LoadSamples& samples, int clients, double windowSeconds) {
    LoadReport r;
    r.windowSeconds = windowSeconds;
    r.megapackets = samples.megapackets;
    if (clients > 0 && windowSeconds > 0)
        r.packetsPerClientPerSecond = double(samples.megapackets) / clients / windowSeconds;
    r.interArrivalMs = distributionOf(samples.interArrivalMs);
    r.latencyMs = distributionOf(samples.latencyMs);
    r.badSizes = samples.badSizes;
    r.expectedSize = clients > 0 ? int(car_states::sizeFor(size_t(clients - 1))) : 0;
    return r;
}

namespace {

std::string line(const char* name, const Distribution& d) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%-22s p50 %7.2f  p99 %7.2f  max %7.2f  (%zu samples)\n", name,
                  d.p50, d.p99, d.max, d.count);
    return buf;
}

std::string jsonOf(const Distribution& d) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "{\"count\": %zu, \"p50\": %.3f, \"p99\": %.3f, \"max\": %.3f}",
                  d.count, d.p50, d.p99, d.max);
    return buf;
}

}  // namespace

std::string LoadReport::text() const {
    char buf[320];
    std::snprintf(buf, sizeof buf,
                  "clients admitted       %d of %d (%d drivers, %d spectators)\n"
                  "window                 %.1f s\n"
                  "packets/client/s       %.2f (%llu combined packets)\n",
                  admitted, drivers + spectators, drivers, spectators, windowSeconds,
                  packetsPerClientPerSecond, static_cast<unsigned long long>(megapackets));
    std::string out = buf;
    out += line("inter-arrival ms", interArrivalMs);
    out += line("update->relay ms", latencyMs);
    std::snprintf(buf, sizeof buf, "wrong-size packets     %llu (expected %d bytes)\n",
                  static_cast<unsigned long long>(badSizes), expectedSize);
    out += buf;
    if (!failure.empty())
        out += "failure                " + failure + "\n";
    return out;
}

std::string LoadReport::json() const {
    char buf[320];
    std::snprintf(buf, sizeof buf,
                  "{\"drivers\": %d, \"spectators\": %d, \"admitted\": %d, \"window_s\": %.3f, "
                  "\"megapackets\": %llu, \"packets_per_client_s\": %.3f, \"bad_sizes\": %llu, "
                  "\"expected_size\": %d, ",
                  drivers, spectators, admitted, windowSeconds,
                  static_cast<unsigned long long>(megapackets), packetsPerClientPerSecond,
                  static_cast<unsigned long long>(badSizes), expectedSize);
    std::string out = buf;
    out += "\"inter_arrival_ms\": " + jsonOf(interArrivalMs);
    out += ", \"latency_ms\": " + jsonOf(latencyMs);
    std::string quoted;
    for (char c : failure)
        quoted += (c == '"' || c == '\\') ? '\'' : c;
    out += ", \"failure\": \"" + quoted + "\"}\n";
    return out;
}
