#pragma once
// Configuration files as the simulator's home platform writes them end their lines in "\r\n";
// the programs that write one for a server (the tests, the measured runs) convert with this.

#include <string>
#include <string_view>

inline std::string withCrlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    return out;
}
