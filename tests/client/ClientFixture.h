#pragma once
// A started server with clients attached directly, and a look at what the handlers queued.

#include "support/RaceFixture.h"

struct Queued {
    CRVClientConnection* client;
    Bytes bytes;
    bool operator==(const Queued&) const = default;
};
using Sent = std::vector<Queued>;

struct ClientTest : RaceFixture {
    void SetUp() override {
        start(defaultConfig());
        harness->advance(1000);  // so "never sent" (0) differs from "sent now"
    }
    // Takes the queued messages, optionally only those of one type, with the client each is for.
    Sent take(int type = -1) {
        Sent out;
        for (const QueuedMessage& m : server().router.queue)
            if (type < 0 || m.data[0] == type)
                out.push_back({m.client, m.data});
        server().router.queue.clear();
        return out;
    }
};
