#pragma once
// Which events a host serves: each folder named with --dir, and every sub-folder of an
// --instances folder that holds "cfg/rvservercfg.ini" (one folder per server instance), looked
// for again while rvlive runs so that a new instance shows up and a removed one goes.

#include <set>
#include <string>
#include <vector>

namespace live {

struct EventFolder {
    std::string root;  // ends in "/"
    bool instance = false;
};

// The named folders first, in the order given, then each parent's instances by name.
std::vector<EventFolder> findEventFolders(const std::vector<std::string>& dirs,
                                          const std::vector<std::string>& instanceParents);

// The name the event's pages go by: its folder's name reduced to letters, digits, "-" and "_",
// made unique among `taken`.
std::string eventId(const std::string& root, const std::set<std::string>& taken);

}  // namespace live
