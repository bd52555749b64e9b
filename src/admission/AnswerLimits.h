#pragma once
// What strangers may cost the server: answers to senders that are not clients (status, echo,
// refusals) per source address and in all, and the cooling-off of password guessers. A server
// browser asking every few seconds never meets these limits; a forged flood cannot turn the
// server into an amplifier.

#include "admission/PasswordGuard.h"
#include "transport/Budgets.h"

struct AnswerLimits {
    AddressBudget answerBudget{8, 16, 2000, 2000};
    DropReport answerDrops{"answers to unknown senders dropped (rate limit)"};
    // Connection requests print their lines before any answer is due, so they have a budget of
    // their own: roomy enough for a grid of drivers behind one address joining at once, tight
    // enough that a minute of flood (forged addresses included) adds under 1 MB of console.
    AddressBudget requestBudget{16, 64, 200, 400};
    DropReport requestDrops{"connection requests dropped (rate limit)"};
    PasswordGuard passwordGuard;
};
