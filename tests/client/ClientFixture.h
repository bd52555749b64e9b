#pragma once
// A started server with clients attached directly, and a look at what the handlers queued.

#include <gtest/gtest.h>

#include "protocol/MessageTypes.h"
#include "support/AttachedClient.h"
#include "support/Requests.h"
#include "support/ServerHarness.h"
#include "support/TestClient.h"

using Bytes = std::vector<uint8_t>;

struct Queued {
    CRVClientConnection* client;
    Bytes bytes;
    bool operator==(const Queued&) const = default;
};
using Sent = std::vector<Queued>;

struct ClientTest : ::testing::Test {
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
    std::string deliver(CRVClientConnection* client, Bytes message) {
        StdoutCapture out;
        client->onMessage(message.data(), int(message.size()), &client->address);
        return out.take();
    }
    // Takes the queued messages, optionally only those of one type.
    Sent take(int type = -1) {
        Sent out;
        for (const QueuedMessage& m : harness.server->router.queue)
            if (type < 0 || m.data[0] == type)
                out.push_back({m.client, m.data});
        harness.server->router.queue.clear();
        return out;
    }

    ServerHarness harness;
    std::vector<std::unique_ptr<TestClient>> peers;
};
