#include "rvleague/Repository.h"

#include <chrono>
#include <random>
#include <thread>

#include "rvleague/Backends.h"
#include "rvleague/Schema.h"

void Repository::transaction(const std::function<void()>& work) {
    std::minstd_rand jitter(std::random_device{}());
    for (int attempt = 1;; ++attempt) {
        try {
            begin();
            work();
            commit();
            return;
        } catch (const LeagueError& e) {
            rollback();
            if (e.kind != LeagueError::Kind::Retry || attempt == kTransactionTries)
                throw;
            // Spread the next try so two importers that collided do not collide again.
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + jitter() % (20 * attempt)));
        } catch (...) {
            rollback();
            throw;
        }
    }
}

std::unique_ptr<Repository> openRepository(const std::string& url) {
    std::unique_ptr<Repository> repository;
    if (url.rfind("sqlite:", 0) == 0)
        repository = openSqlite(url.substr(7));
    else if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0)
        repository = openPostgres(url);
    else
        throw LeagueError(LeagueError::Kind::Failed,
                          "unknown database \"" + url + "\": sqlite:PATH or postgresql://...");
    migrate(*repository);
    return repository;
}
