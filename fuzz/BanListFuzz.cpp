// Any bytes as the ban list file an operator or a league tool may have edited: read, written back
// and read again, the list must come out the same, and a lookup must hold whatever was read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "admission/BanList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    BanList list;
    list.parse(text);
    // Written back, nothing is lost: a second reading renders the very same file.
    const std::string written = list.render();
    BanList again;
    again.parse(written);
    if (again.render() != written)
        std::abort();
    // The input's first line as a guid and its first bytes as an address, looked up on the list.
    const std::string guid = text.substr(0, text.find('\n'));
    uint32_t address = 0;
    for (size_t i = 0; i < 4 && i < size; ++i)
        address = address << 8 | data[i];
    (void)list.find(guid, address, int64_t(size) * 60);
    (void)list.expire(int64_t(size) * 3600);
    return 0;
}
