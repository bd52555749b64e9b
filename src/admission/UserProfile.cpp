// The register of every identity ever admitted: one file per guid, written once.
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
    const std::string file = "server/users/" + guid + ".rvuser";
    if (!wholeFiles.has(path(file)))
        wholeFiles.write(path(file), file, guid + "\n", false);
}
