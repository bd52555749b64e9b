#pragma once
// The league's one database. The records, queries and pages speak one SQL (placeholders $1, $2,
// ...) to this interface; an embedded SQLite file serves one host, a PostgreSQL server a league
// whose servers run on several hosts.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct SqlValue {
    enum class Kind { Null, Integer, Text } kind = Kind::Null;
    int64_t integer = 0;
    std::string text;

    SqlValue() = default;
    SqlValue(std::nullptr_t) {}
    SqlValue(int v) : kind(Kind::Integer), integer(v) {}
    SqlValue(int64_t v) : kind(Kind::Integer), integer(v) {}
    SqlValue(std::string v) : kind(Kind::Text), text(std::move(v)) {}
    SqlValue(const char* v) : kind(Kind::Text), text(v) {}
};

struct SqlRow {
    std::vector<std::optional<std::string>> cells;
    bool null(size_t i) const { return !cells.at(i).has_value(); }
    std::string text(size_t i) const { return cells.at(i).value_or(""); }
    int64_t integer(size_t i) const { return null(i) ? 0 : std::stoll(*cells.at(i)); }
};
using SqlRows = std::vector<SqlRow>;

// What went wrong, in one line an operator can act on.
class LeagueError : public std::runtime_error {
  public:
    enum class Kind {
        Failed,
        Busy,   // SQLite: another writer held the file past the wait
        Retry,  // PostgreSQL: a concurrent writer won; the transaction may run again
    };
    LeagueError(Kind kind, const std::string& what) : std::runtime_error(what), kind(kind) {}
    Kind kind;
};

class Repository {
  public:
    virtual ~Repository() = default;

    virtual SqlRows query(const std::string& sql, const std::vector<SqlValue>& params = {}) = 0;
    // Runs `work` whole or not at all; a transaction that lost to a concurrent writer is run
    // again (up to kTransactionTries times in all).
    void transaction(const std::function<void()>& work);
    // "sqlite:PATH" or the PostgreSQL URL without its password.
    virtual std::string describe() const = 0;
    // How the schema writes a generated 64-bit key column.
    virtual std::string identityColumn() const = 0;

    static constexpr int kTransactionTries = 8;

  protected:
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
};

// "sqlite:PATH" or "postgresql://...": opened, checked against the schema version this program
// knows and brought up to it. Throws LeagueError.
std::unique_ptr<Repository> openRepository(const std::string& url);

// The SQLite file waits this long for another writer before giving up.
constexpr int kSqliteBusyWaitMs = 5000;
