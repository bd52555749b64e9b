#pragma once
// The two engines behind Repository; openRepository picks one by the URL.

#include <memory>
#include <string>

#include "rvleague/Repository.h"

std::unique_ptr<Repository> openSqlite(const std::string& path);
std::unique_ptr<Repository> openPostgres(const std::string& url);
