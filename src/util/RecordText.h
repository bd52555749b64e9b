#pragma once
// Text fields of the client record are fixed arrays; reading them never runs past the array,
// even if a copy filled one to the brim without a terminator.

#include <cstddef>
#include <cstring>
#include <string>

template <size_t N>
std::string recordText(const char (&text)[N]) {
    return std::string(text, strnlen(text, N));
}
