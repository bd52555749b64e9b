#include "support/ServerHarness.h"

#include "util/LineEnds.h"

std::string crlf(const std::string& text) {
    return withCrlf(text);
}
