#include "BenchTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string benchTable(const std::vector<BenchRow>& rows, const std::string& heading) {
    std::string out = heading;
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "%7s %9s %7s %8s %7s %8s  %-20s  %-20s %6s | %9s %7s %8s %7s | %9s %7s\n",
                  "drivers", "cpu %", "wakes", "rss KiB", "rss +", "pkt/c/s", "inter-arrival ms",
                  "update->relay ms", "bad", "relay cpu", "wakes", "relay99", "cpu x",
                  "floor cpu", "wakes");
    out += buf;
    std::snprintf(buf, sizeof buf,
                  "%7s %9s %7s %8s %7s %8s  %-20s  %-20s %6s | %9s %7s %8s %7s | %9s %7s\n", "",
                  "", "/s", "", "KiB", "", "p50 / p99 / max", "p50 / p99 / max", "size", "%",
                  "/s", "ms", "relay", "%", "/s");
    out += buf;
    for (const BenchRow& r : rows) {
        const LoadReport& s = r.server.load;
        char ia[32], lat[32], ratio[16];
        std::snprintf(ia, sizeof ia, "%.1f / %.1f / %.1f", s.interArrivalMs.p50,
                      s.interArrivalMs.p99, s.interArrivalMs.max);
        std::snprintf(lat, sizeof lat, "%.1f / %.1f / %.1f", s.latencyMs.p50, s.latencyMs.p99,
                      s.latencyMs.max);
        if (r.drivers > 0 && r.relay.cpuPercent > 0)
            std::snprintf(ratio, sizeof ratio, "%.2f", r.server.cpuPercent / r.relay.cpuPercent);
        else
            std::snprintf(ratio, sizeof ratio, "-");
        std::snprintf(buf, sizeof buf,
                      "%7d %9.3f %7.0f %8ld %7ld %8.2f  %-20s  %-20s %6llu | %9.3f %7.0f %8.1f "
                      "%7s | %9.3f %7.0f\n",
                      r.drivers, r.server.cpuPercent, r.server.wakeUpsPerSecond, r.server.rssKiB,
                      r.server.rssGrowthKiB, s.packetsPerClientPerSecond, ia, lat,
                      static_cast<unsigned long long>(s.badSizes), r.relay.cpuPercent,
                      r.relay.wakeUpsPerSecond, r.relay.load.latencyMs.p99, ratio,
                      r.floor.cpuPercent, r.floor.wakeUpsPerSecond);
        out += buf;
        if (!s.failure.empty())
            out += "        server run: " + s.failure + "\n";
        if (!r.relay.load.failure.empty())
            out += "        relay run: " + r.relay.load.failure + "\n";
    }
    return out;
}

namespace {

// One panel: a line per series over the driver counts, evenly spaced on the x axis.
std::string panel(const std::vector<BenchRow>& rows, double left, const char* title,
                  const char* unit, bool logScale, double (*server)(const BenchRow&),
                  double (*relay)(const BenchRow&)) {
    const double top = 50, width = 380, height = 260;
    double lo = 1e300, hi = 0;
    for (const BenchRow& r : rows) {
        for (double v : {server(r), relay(r)}) {
            hi = std::max(hi, v);
            if (v > 0)
                lo = std::min(lo, v);
        }
    }
    if (logScale) {
        lo = std::pow(10, std::floor(std::log10(std::max(lo, 1e-3))));
        hi = std::pow(10, std::ceil(std::log10(std::max(hi, lo * 10))));
    } else {
        lo = 0;
        hi = hi > 0 ? hi * 1.1 : 1;
    }
    auto y = [&](double v) {
        double f = logScale ? (std::log10(std::max(v, lo)) - std::log10(lo)) /
                                  (std::log10(hi) - std::log10(lo))
                            : (v - lo) / (hi - lo);
        return top + height * (1 - f);
    };
    auto x = [&](size_t i) {
        return left + (rows.size() < 2 ? width / 2 : width * double(i) / double(rows.size() - 1));
    };
    char buf[300];
    std::string out;
    std::snprintf(buf, sizeof buf,
                  "<text x='%.0f' y='30' font-size='15' font-weight='bold'>%s</text>\n"
                  "<rect x='%.0f' y='%.0f' width='%.0f' height='%.0f' fill='none' "
                  "stroke='#999'/>\n",
                  left, title, left, top, width, height);
    out += buf;
    // Powers of ten on a log scale, quarters on a linear one.
    const int ticks = logScale ? int(std::lround(std::log10(hi / lo))) : 4;
    for (int i = 0; i <= ticks; ++i) {
        double v = logScale ? lo * std::pow(10.0, i) : lo + (hi - lo) * i / 4.0;
        std::snprintf(buf, sizeof buf,
                      "<text x='%.0f' y='%.1f' font-size='11' text-anchor='end'>%.3g</text>\n",
                      left - 6, y(v) + 4, v);
        out += buf;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        std::snprintf(buf, sizeof buf,
                      "<text x='%.1f' y='%.0f' font-size='11' text-anchor='middle'>%d</text>\n",
                      x(i), top + height + 16, rows[i].drivers);
        out += buf;
    }
    std::snprintf(buf, sizeof buf,
                  "<text x='%.0f' y='%.0f' font-size='12' text-anchor='middle'>drivers</text>\n"
                  "<text x='%.0f' y='%.0f' font-size='12'>%s</text>\n",
                  left + width / 2, top + height + 34, left, top - 6, unit);
    out += buf;
    for (int s = 0; s < 2; ++s) {
        const char* colour = s == 0 ? "#c0392b" : "#2471a3";
        std::string points;
        for (size_t i = 0; i < rows.size(); ++i) {
            double v = s == 0 ? server(rows[i]) : relay(rows[i]);
            std::snprintf(buf, sizeof buf, "%.1f,%.1f ", x(i), y(v));
            points += buf;
            std::snprintf(buf, sizeof buf, "<circle cx='%.1f' cy='%.1f' r='3' fill='%s'/>\n", x(i),
                          y(v), colour);
            out += buf;
        }
        out += "<polyline fill='none' stroke-width='2' stroke='" + std::string(colour) +
               "' points='" + points + "'/>\n";
    }
    return out;
}

}  // namespace

std::string benchPlot(const std::vector<BenchRow>& rows, const std::string& title) {
    std::string out =
        "<svg xmlns='http://www.w3.org/2000/svg' width='960' height='400' "
        "font-family='sans-serif'>\n<rect width='960' height='400' fill='white'/>\n";
    out += panel(
        rows, 70, "Server CPU (log scale)", "% of one core", true,
        [](const BenchRow& r) { return r.server.cpuPercent; },
        [](const BenchRow& r) { return r.relay.cpuPercent; });
    out += panel(
        rows, 550, "Update to relay, p99", "ms", false,
        [](const BenchRow& r) { return r.server.load.latencyMs.p99; },
        [](const BenchRow& r) { return r.relay.load.latencyMs.p99; });
    out += "<text x='70' y='385' font-size='12'>" + title +
           "   <tspan fill='#c0392b'>&#9632; rvserver</tspan>   "
           "<tspan fill='#2471a3'>&#9632; reference relay</tspan></text>\n</svg>\n";
    return out;
}

std::string hostHeading() {
    return "each event: one server process with 32 drivers; 'total cpu' sums the servers' CPU over "
           "their windows;\n'events/core' is how many such events one core carries at that "
           "cost\n\n";
}

std::string hostTable(const std::vector<HostRow>& rows, const std::string& heading) {
    std::string out = heading;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%6s %10s %10s %11s %13s %12s  %s\n", "events", "total cpu",
                  "cpu/event", "events/core", "gap p99 max", "upd->relay", "gap p99 per event");
    out += buf;
    std::snprintf(buf, sizeof buf, "%6s %10s %10s %11s %13s %12s  %s\n", "", "%", "%", "", "ms",
                  "p99 max ms", "ms");
    out += buf;
    for (const HostRow& r : rows) {
        double total = 0, gapMax = 0, latencyMax = 0;
        std::string each, failures;
        for (const Measured& m : r.each) {
            total += m.cpuPercent;
            gapMax = std::max(gapMax, m.load.interArrivalMs.p99);
            latencyMax = std::max(latencyMax, m.load.latencyMs.p99);
            std::snprintf(buf, sizeof buf, "%s%.1f", each.empty() ? "" : " ",
                          m.load.interArrivalMs.p99);
            each += buf;
            if (!m.load.failure.empty())
                failures += "        an event: " + m.load.failure + "\n";
        }
        const double perCore = total > 0 ? 100.0 * r.events / total : 0;
        std::snprintf(buf, sizeof buf, "%6d %10.3f %10.3f %11.0f %13.1f %12.1f  %s\n", r.events,
                      total, total / std::max(1, r.events), perCore, gapMax, latencyMax,
                      each.c_str());
        out += buf;
        out += failures;
    }
    return out;
}
