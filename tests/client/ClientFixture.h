#pragma once
// A started server with clients attached directly, and a look at what the handlers queued.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "protocol/MessageTypes.h"
#include "support/AttachedClient.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

struct Queued {
    CRVClientConnection* client;
    std::vector<uint8_t> bytes;
};

class ClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        harness.start();
        harness.advance(1000);  // so "never sent" (0) differs from "sent now"
    }
    CRVClientConnection* attach(const std::string& name, bool spectator = false) {
        peers.push_back(std::make_unique<TestClient>(harness.port()));
        StdoutCapture quiet;
        return attachClient(*harness.server, peers.back()->address(), name, spectator);
    }
    // Hands `message` to the client's dispatcher as the router would; returns what it printed.
    std::string deliver(CRVClientConnection* client, std::vector<uint8_t> message) {
        StdoutCapture out;
        client->onMessage(message.data(), int(message.size()), &client->address);
        return out.take();
    }
    // Takes the queued messages, optionally only those of one type.
    std::vector<Queued> take(int type = -1) {
        std::vector<Queued> out;
        for (const QueuedMessage& m : harness.server->router.queue)
            if (type < 0 || m.data[0] == type)
                out.push_back({m.client, std::vector<uint8_t>(m.data, m.data + m.size)});
        harness.server->router.queue.clear();
        return out;
    }
    std::string eventLog() {
        harness.server->logger.flush();
        std::ifstream in(harness.folder.path() + "/" + harness.server->logger.fileName());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    ServerHarness harness;
    std::vector<std::unique_ptr<TestClient>> peers;
};

inline std::vector<uint8_t> carUpdate(uint32_t seq, uint8_t flags, uint8_t fill = 0) {
    std::vector<uint8_t> m(23, fill);
    m[0] = RV_CARUPDATE;
    putU32(m, 2, seq);
    m[22] = flags;
    return m;
}

inline std::vector<uint8_t> chat(const std::string& text, uint8_t sender = 0) {
    std::vector<uint8_t> m = {RV_CHAT, sender, uint8_t(text.size())};
    m.insert(m.end(), text.begin(), text.end());
    return m;
}
