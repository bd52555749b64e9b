#pragma once
// A bad network between the simulated drivers and the server: datagrams in both directions are
// lost, duplicated and held back by a random delay (which also reorders them). Each client
// address gets its own upstream socket, so the server sees one sender per client as it would.

#include <atomic>
#include <cstdint>
#include <thread>

struct Impairment {
    double loss = 0.05;
    double duplication = 0.01;
    int jitterMs = 30;
};

class LossyRelay {
  public:
    LossyRelay(uint16_t serverPort, Impairment impairment);
    ~LossyRelay();
    uint16_t port() const { return port_; }
    // Off until switched on, so that admission happens on a clean link.
    std::atomic<bool> impaired{false};
    std::atomic<uint64_t> forwarded{0}, lost{0}, duplicated{0};

  private:
    void run();
    uint16_t serverPort_;
    Impairment impairment_;
    uint16_t port_ = 0;
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
