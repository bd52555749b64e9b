#pragma once
// The orders of the server's driver lists. Standings, the qualifying grid and the results files
// all sort with these, so a driver's place is the same wherever it is shown.

#include <algorithm>
#include <vector>

class CRVClientConnection;

namespace order {

// Most laps first; on equal laps the smaller race time (the total reported with the last lap).
bool race(const CRVClientConnection* a, const CRVClientConnection* b);
// Drivers without a lap last; the others by best lap.
bool practice(const CRVClientConnection* a, const CRVClientConnection* b);
// Drivers without a lap last; the others by qualifying lap (one with laps but no qualifying lap
// yet comes first).
bool qualifying(const CRVClientConnection* a, const CRVClientConnection* b);
// Drivers without a qualifying lap last; the others by qualifying lap: the starting grid.
bool qualifyingGrid(const CRVClientConnection* a, const CRVClientConnection* b);

// Stable, so that drivers with equal keys keep their list order from one update to the next.
template <typename Less>
void sort(std::vector<CRVClientConnection*>& list, Less less) {
    std::stable_sort(list.begin(), list.end(), less);
}

// The standings order of a session type (0 practice, 1 qualifying, 2 race); any other type
// leaves the list as it is.
void sortForSession(std::vector<CRVClientConnection*>& list, int sessionType);

}  // namespace order
