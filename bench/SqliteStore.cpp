#include "SqliteStore.h"

#include "CacheFixtures.h"

#include <QFile>
#include <sqlite3.h>
#include <stdexcept>

namespace Catraca {

SqliteStore::SqliteStore(const QString &path, int rows)
{
    if (sqlite3_open(QFile::encodeName(path).constData(), &database_) != SQLITE_OK)
        Fail("open");
    Execute("PRAGMA journal_mode=DELETE");
    Execute("PRAGMA synchronous=FULL");
    Execute("CREATE TABLE IF NOT EXISTS cache ("
            "id INTEGER PRIMARY KEY AUTOINCREMENT, "
            "cod_barra TEXT NOT NULL UNIQUE, "
            "evento TEXT)");
    auto prepare = [this](const char *sql, sqlite3_stmt **statement) {
        if (sqlite3_prepare_v2(database_, sql, -1, statement, nullptr) != SQLITE_OK)
            Fail(sql);
    };
    prepare("BEGIN IMMEDIATE", &begin_);
    prepare("INSERT INTO cache (cod_barra, evento) VALUES (?1, ?2) "
            "ON CONFLICT (cod_barra) DO UPDATE SET evento = excluded.evento",
            &upsert_);
    prepare("COMMIT", &commit_);
    prepare("SELECT evento FROM cache WHERE cod_barra = ?1", &select_);

    // The N rows the cache starts with, in one transaction: set-up, not timed.
    Execute("BEGIN");
    for (int row = 0; row < rows; ++row) {
        const std::string barcode = CacheFixtures::Barcode(row).toStdString();
        sqlite3_bind_text(upsert_, 1, barcode.data(), static_cast<int>(barcode.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(upsert_, 2, "C", 1, SQLITE_STATIC);
        Step(upsert_, SQLITE_DONE);
    }
    Execute("COMMIT");
}

SqliteStore::~SqliteStore()
{
    for (sqlite3_stmt *statement : {begin_, upsert_, commit_, select_})
        sqlite3_finalize(statement);
    sqlite3_close(database_);
}

void SqliteStore::Upsert(const std::string &barcode, const std::string &event)
{
    Step(begin_, SQLITE_DONE);
    sqlite3_bind_text(upsert_, 1, barcode.data(), static_cast<int>(barcode.size()), SQLITE_STATIC);
    sqlite3_bind_text(upsert_, 2, event.data(), static_cast<int>(event.size()), SQLITE_STATIC);
    Step(upsert_, SQLITE_DONE);
    Step(commit_, SQLITE_DONE);
}

void SqliteStore::UpsertAll(const std::vector<std::pair<std::string, std::string>> &changes)
{
    Step(begin_, SQLITE_DONE);
    for (const auto &[barcode, event] : changes) {
        sqlite3_bind_text(upsert_, 1, barcode.data(), static_cast<int>(barcode.size()), SQLITE_STATIC);
        sqlite3_bind_text(upsert_, 2, event.data(), static_cast<int>(event.size()), SQLITE_STATIC);
        Step(upsert_, SQLITE_DONE);
    }
    Step(commit_, SQLITE_DONE);
}

std::string SqliteStore::EventOf(const std::string &barcode)
{
    sqlite3_bind_text(select_, 1, barcode.data(), static_cast<int>(barcode.size()), SQLITE_STATIC);
    std::string event;
    if (sqlite3_step(select_) == SQLITE_ROW)
        event = reinterpret_cast<const char *>(sqlite3_column_text(select_, 0));
    sqlite3_reset(select_);
    return event;
}

void SqliteStore::Execute(const char *sql)
{
    if (sqlite3_exec(database_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail(sql);
}

void SqliteStore::Step(sqlite3_stmt *statement, int expected)
{
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result != expected)
        Fail(sqlite3_sql(statement));
}

void SqliteStore::Fail(const char *what)
{
    throw std::runtime_error(std::string("SQLite: ") + what + ": "
                             + (database_ ? sqlite3_errmsg(database_) : "no database"));
}

}  // namespace Catraca
