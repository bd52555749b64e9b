// The register of every identity ever admitted: one file per guid, written once.
#include <cstdio>
#include <string>

#include "runtime/CRVServer.h"

namespace {

// The guid becomes a file name unchanged, so anything that could leave the users folder or
// make an odd name is refused; the driver is still admitted.
bool safeFileName(const std::string& guid) {
    if (guid.empty() || guid == "." || guid == "..")
        return false;
    for (unsigned char c : guid)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f)
            return false;
    return true;
}

}  // namespace

void CRVServer::saveUserProfile(const std::string& guid) {
    if (!safeFileName(guid))
        return;
    const std::string file = path("server/users/" + guid + ".rvuser");
    if (FILE* existing = std::fopen(file.c_str(), "rt")) {
        std::fclose(existing);
        return;
    }
    FILE* out = std::fopen(file.c_str(), "wt");
    if (!out)
        return;
    std::fprintf(out, "%s\n", guid.c_str());
    std::fclose(out);
}
