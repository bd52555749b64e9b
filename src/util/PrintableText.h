#pragma once
// Texts that came from clients, made safe for the event log and the console: a control
// character could end a log line early (forging the next event) or steer the operator's
// terminal, so each becomes '?'. What is relayed to clients keeps its bytes.

#include <string>
#include <string_view>

inline std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}
