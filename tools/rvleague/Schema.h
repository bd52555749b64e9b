#pragma once
// The league's tables, written once for both engines, with the version table that lets a newer
// program bring an older league up to date and an older program refuse a newer one.

#include "rvleague/Repository.h"

constexpr int kSchemaVersion = 1;

// Creates or upgrades the tables; throws LeagueError when the database is newer than this
// program.
void migrate(Repository& repository);
