// The endurance run on a short event: everything a driver does happens, and the checks at its
// end pass on a server that kept nothing, and speak up about one that did.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <set>

#include "protocol/AdmissionLayouts.h"
#include "protocol/MessageTypes.h"
#include "rvendurance/Endurance.h"
#include "support/RaceFixture.h"

namespace {

// An hour of console is far more than a capture should hold; it goes nowhere instead.
class ConsoleAside {
  public:
    ConsoleAside() : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~ConsoleAside() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

  private:
    int saved_;
};

}  // namespace

TEST(Endurance, ShortEventEndsWithEveryListEmptyAndEveryFileReadable) {
    TempFolder folder;
    EnduranceOptions options;
    options.folder = folder.path() + "/event";
    options.hours = 3;
    options.cast = {.drivers = 8, .spectators = 1, .updatesPerSecond = 2, .seed = 7};
    const EnduranceFigures f = [&] {
        ConsoleAside quiet;
        return runEndurance(options);
    }();
    EXPECT_EQ(f.failures, std::vector<std::string>{});
    EXPECT_GE(f.sessionsStarted, 4);  // practice, qualifying and looped races
    EXPECT_GE(f.resultsFiles, 3);
    const EnduranceCounts& c = f.counts;
    EXPECT_EQ(c.joins, 9 + c.rejoinsOld + c.rejoinsNew);
    EXPECT_EQ(c.signOffs + c.silences, c.joins);
    EXPECT_GT(c.rejoinsOld + c.rejoinsNew, 0u);
    EXPECT_GT(c.pitStops, 0u);
    EXPECT_GT(c.laps, 8 * c.pitStops);
    for (uint64_t n : {c.chats, c.votes, c.flags, c.strangers})
        EXPECT_GT(n, 0u);
}

struct EnduranceBounds : RaceFixture {};

TEST(AddressTables, StayWithinTheirBoundsAgainstEverNewAddresses) {
    AddressBudget budget(8, 16, 2000, 2000);
    PasswordGuard guard;
    size_t mostAsking = 0, mostGuessing = 0;
    for (uint32_t i = 0; i < 3 * AddressBudget::kMaxAddresses; ++i) {
        budget.take(0xc6120000 + i, int64_t(i));
        guard.failed(0xc6120000 + i, int64_t(i));
        mostAsking = std::max(mostAsking, budget.addresses());
        mostGuessing = std::max(mostGuessing, guard.sources());
    }
    EXPECT_EQ(mostAsking, AddressBudget::kMaxAddresses);
    EXPECT_EQ(mostGuessing, PasswordGuard::kMaxSources);
}

TEST_F(EnduranceBounds, NamesEveryListLeftOverItsBound) {
    start();
    EXPECT_TRUE(listsOverBound(server()).empty());
    CRVClientConnection* driver = attach("D1");
    server().vote.voters.push_back(driver);
    EXPECT_EQ(listsOverBound(server()), (std::vector<std::string>{"client list holds 1, bound 0",
                                                                  "ranking list holds 1, bound 0",
                                                                  "voters holds 1, bound 0"}));
}

TEST(EnduranceEvent, StaysKeepOneAddressAndNoOneSpeaksAfterSigningOff) {
    EnduranceEvent event({.drivers = 4, .spectators = 1, .updatesPerSecond = 1, .seed = 3});
    std::map<uint32_t, std::set<std::string>> guids;  // by the sender's host
    std::map<uint32_t, uint32_t> stayAddress;         // host: raw port of the current stay
    std::set<uint32_t> signedOff;
    uint32_t last = 0;
    auto run = [&](uint32_t until) {
        for (uint32_t t = last; t <= until; t += 50) {
            event.setNow(t);
            uint8_t* data = nullptr;
            int size = 0;
            SocketAddress from;
            while (event.next(data, size, from)) {
                const uint32_t host = from.ip();
                if (data[0] == RV_CONNECT || data[0] == RV_CONNECTRVTV) {
                    guids[host].insert(reinterpret_cast<const char*>(data) +
                                       connect_request::kGuid);
                    stayAddress[host] = from.port();
                    signedOff.erase(host);
                } else if (stayAddress.count(host) != 0) {
                    EXPECT_EQ(signedOff.count(host), 0u) << "spoke after signing off";
                    EXPECT_EQ(from.port(), stayAddress[host]);
                    if (data[0] == RV_SIGNOFF)
                        signedOff.insert(host);
                }
            }
        }
        last = until;
    };
    run(8 * 3600 * 1000);
    EXPECT_EQ(guids.size(), 5u);
    for (const auto& [host, names] : guids)
        for (const std::string& guid : names)
            EXPECT_EQ(guid.rfind("guid-" + std::to_string(((host >> 8) & 0xff) - 1) + "-", 0), 0u);
    const EnduranceCounts before = event.counts();
    EXPECT_GT(before.rejoinsOld, 0u);
    EXPECT_GT(before.rejoinsNew, 0u);

    event.closeDoors();
    run(last + 10 * 60 * 1000);
    const EnduranceCounts after = event.counts();
    EXPECT_EQ(after.joins, before.joins);
    EXPECT_EQ(after.strangers, before.strangers);
    EXPECT_EQ(after.signOffs + after.silences, after.joins);
}
