#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace Catraca {

// The store a developer would otherwise pick for a durable cache: one SQLite
// table keyed by barcode, written with one upsert per transaction, rollback
// journal and a full sync at every commit.
class SqliteStore {
public:
    SqliteStore(const QString &path, int rows);
    ~SqliteStore();
    SqliteStore(const SqliteStore &) = delete;
    SqliteStore &operator=(const SqliteStore &) = delete;

    // Inserts the barcode with its event, or changes the event of the row
    // that holds it, in a transaction of its own.
    void Upsert(const std::string &barcode, const std::string &event);
    // The same for every pair, all in one transaction: what a store does
    // with a command file when its rows may become durable together.
    void UpsertAll(const std::vector<std::pair<std::string, std::string>> &changes);

    std::string EventOf(const std::string &barcode);

private:
    void Execute(const char *sql);
    void Step(sqlite3_stmt *statement, int expected);
    [[noreturn]] void Fail(const char *what);

    sqlite3 *database_ = nullptr;
    sqlite3_stmt *begin_ = nullptr;
    sqlite3_stmt *upsert_ = nullptr;
    sqlite3_stmt *commit_ = nullptr;
    sqlite3_stmt *select_ = nullptr;
};

}  // namespace Catraca
