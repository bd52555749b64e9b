#pragma once
// A started server with clients attached directly, its clock past 0 so that "never sent" (0)
// differs from "sent now".

#include "support/RaceFixture.h"

struct ClientTest : RaceFixture {
    void SetUp() override {
        start();
        harness->advance(1000);
    }
};
