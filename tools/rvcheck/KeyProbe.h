#pragma once
// How the server's INI reader will find one key, and the operator traps on the way: a key that
// is missing (text values then become the whole section), or one that is found somewhere other
// than at the start of its own line.

#include <string>

#include "runtime/ZTINIReader.h"

enum class KeyFound { kOwnLine, kMissing, kInsideOther, kOnSemicolonLine, kNoSection };

struct KeyProbe {
    KeyFound found = KeyFound::kNoSection;
    std::string line;  // the line the reader takes the key from, when not its own
};

KeyProbe probeKey(const ZTINIReader& ini, const std::string& section, const std::string& key);
bool sectionPresent(const ZTINIReader& ini, const std::string& section);
