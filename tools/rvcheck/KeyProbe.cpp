#include "rvcheck/KeyProbe.h"

bool sectionPresent(const ZTINIReader& ini, const std::string& section) {
    return ini.content.find("[" + section + "]") != std::string::npos;
}

KeyProbe probeKey(const ZTINIReader& ini, const std::string& section, const std::string& key) {
    KeyProbe probe;
    if (!sectionPresent(ini, section))
        return probe;
    const std::string text = ini.sectionText(section);
    const size_t at = text.find(key);
    if (at == std::string::npos) {
        probe.found = KeyFound::kMissing;
        return probe;
    }
    const size_t lineStart =
        text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
    const bool ownLine =
        at == lineStart && at + key.size() < text.size() && text[at + key.size()] == '=';
    if (ownLine) {
        probe.found = KeyFound::kOwnLine;
        return probe;
    }
    probe.line = text.substr(lineStart, text.find_first_of("\r\n", lineStart) - lineStart);
    probe.found = text[lineStart] == ';' ? KeyFound::kOnSemicolonLine : KeyFound::kInsideOther;
    return probe;
}
