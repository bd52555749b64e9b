#pragma once
// The event files both check programs write: a small configuration for eight drivers and one
// record of a recording, in the forms the server reads.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/SocketAddress.h"

// rvservercfg.ini with `sessions` (the SESSIONS line and its sections, one per session()), open
// to any tyres, with `edits` ("KEY=value") applied to the configuration section. Lines end in
// CR LF, as the shipped configuration's do.
std::string checkEventConfig(const std::vector<std::string>& sessions,
                             const std::vector<std::string>& edits);
// One "[SESSIONn]" section.
std::string checkSession(int n, int type, const std::string& name, int waitSeconds, int minutes,
                         int raceLaps = 0);
// Appends one record to a recording, as the server's recorder writes it.
void writeRecord(std::FILE* f, uint32_t time, const SocketAddress& from,
                 const std::vector<uint8_t>& message);
