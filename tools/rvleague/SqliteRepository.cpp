// The embedded backend: one SQLite file beside the league's host.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>

#include "rvleague/Backends.h"

namespace {

class SqliteRepository : public Repository {
  public:
    explicit SqliteRepository(const std::string& path) : path_(path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            throw LeagueError(LeagueError::Kind::Failed, "cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, kSqliteBusyWaitMs);
        query("PRAGMA foreign_keys = ON", {});
    }
    ~SqliteRepository() override { sqlite3_close(db_); }

    SqlRows query(const std::string& text, const std::vector<SqlValue>& params) override {
        // "$N" becomes SQLite's "?N"; where they come as $1, $2, ... in order, a bare "?": SQLite
        // looks numbered parameters up by name, slowly in a statement of a thousand rows.
        std::string sql;
        bool inOrder = true;
        size_t next = 1;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '$' || i + 1 == text.size() ||
                !std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
                sql.push_back(text[i]);
                continue;
            }
            size_t end = i + 1;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
                ++end;
            inOrder = inOrder && std::stoul(text.substr(i + 1, end - i - 1)) == next++;
            sql += "?" + text.substr(i + 1, end - i - 1);
            i = end - 1;
        }
        if (inOrder)
            for (size_t at = sql.find('?'); at != std::string::npos; at = sql.find('?', at + 1))
                while (at + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[at + 1])))
                    sql.erase(at + 1, 1);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
            fail(sqlite3_errcode(db_));
        const int count = std::min(sqlite3_bind_parameter_count(stmt), int(params.size()));
        for (int at = 1; at <= count; ++at) {
            const SqlValue& v = params[size_t(at - 1)];
            if (v.kind == SqlValue::Kind::Integer)
                sqlite3_bind_int64(stmt, at, v.integer);
            else if (v.kind == SqlValue::Kind::Text)
                sqlite3_bind_text(stmt, at, v.text.data(), int(v.text.size()), SQLITE_TRANSIENT);
        }
        SqlRows rows;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            SqlRow row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                    row.cells.emplace_back();
                    continue;
                }
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                row.cells.emplace_back(std::string(text, size_t(sqlite3_column_bytes(stmt, c))));
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            fail(rc);
        return rows;
    }
    std::string describe() const override { return "sqlite:" + path_; }
    std::string identityColumn() const override { return "INTEGER PRIMARY KEY"; }

  protected:
    // IMMEDIATE takes the write lock at once, so a busy file is found before anything is done.
    void begin() override { query("BEGIN IMMEDIATE", {}); }
    void commit() override { query("COMMIT", {}); }
    void rollback() override {
        if (!sqlite3_get_autocommit(db_))
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }

  private:
    [[noreturn]] void fail(int rc) {
        const int code = rc & 0xff;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            throw LeagueError(LeagueError::Kind::Busy,
                              path_ + " is busy: another program kept it locked for more than " +
                                  std::to_string(kSqliteBusyWaitMs / 1000) + " s");
        if (code == SQLITE_READONLY)
            throw LeagueError(LeagueError::Kind::Failed, "cannot write " + path_ + ": read-only");
        throw LeagueError(LeagueError::Kind::Failed, path_ + ": " + sqlite3_errmsg(db_));
    }

    std::string path_;
    sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<Repository> openSqlite(const std::string& path) {
    return std::make_unique<SqliteRepository>(path);
}
