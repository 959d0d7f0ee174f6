#include "sqlite/sqlite_database.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>

#include "sqlite/sqlite_error.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/fifo_release.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

// Counts far beyond what any test waits for: only an interrupt ends it early.
constexpr const char* kEndlessCount =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
    "SELECT count(*) FROM (SELECT x FROM c LIMIT 1000000000000)";
constexpr const char* kShortCount =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
    "SELECT count(*) FROM (SELECT x FROM c LIMIT 100000)";

SqliteDatabase memoryDatabase() {
  auto db = SqliteDatabase::open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  EXPECT_TRUE(db);
  return db;
}

// The result code a step of `sql` fails with; SQLITE_OK when it gives a row.
int failureOfStep(const SqliteDatabase& db, const char* sql) {
  SqliteStatement statement(db, sql);
  EXPECT_TRUE(statement);
  try {
    EXPECT_TRUE(statement.step());
    return SQLITE_OK;
  } catch (const SqliteError& error) {
    return error.resultCode();
  }
}

TEST(SqliteDatabaseInterrupt, aRequestedStopEndsARunningStatementAndEveryLaterOne) {
  std::stop_source stop;
  auto db = memoryDatabase();
  db.interruptWhen(stop.get_token());
  // Still a connection of its own after a move: the check goes along.
  SqliteDatabase moved = std::move(db);
  ASSERT_EQ(failureOfStep(moved, kShortCount), SQLITE_OK) << "no stop, no interrupt";

  std::jthread stopper([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.request_stop();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(failureOfStep(moved, kEndlessCount), SQLITE_INTERRUPT);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_EQ(failureOfStep(moved, kShortCount), SQLITE_INTERRUPT)
      << "a statement begun after the stop ends too";
}

TEST(SqliteDatabaseInterrupt, anEmptyTokenTakesTheCheckAway) {
  std::stop_source stop;
  stop.request_stop();
  auto db = memoryDatabase();
  db.interruptWhen(stop.get_token());
  EXPECT_EQ(failureOfStep(db, kShortCount), SQLITE_INTERRUPT);
  db.interruptWhen({});
  EXPECT_EQ(failureOfStep(db, kShortCount), SQLITE_OK);
}

// What a read-only count of table t at `uri` gives: the count, or the result
// code of the failure.
struct Count {
  std::optional<std::int64_t> rows;
  int failure = SQLITE_OK;
};

Count countAt(const std::string& uri) {
  const auto db = SqliteDatabase::open(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  if (!db) return Count{.rows = std::nullopt, .failure = db.error("open").resultCode()};
  try {
    SqliteStatement statement(db, "SELECT count(*) FROM t");
    if (!statement) return Count{.rows = std::nullopt, .failure = sqlite3_errcode(db.handle())};
    EXPECT_TRUE(statement.step());
    return Count{.rows = statement.columnInt64(0)};
  } catch (const SqliteError& error) {
    return Count{.rows = std::nullopt, .failure = error.resultCode()};
  }
}

// SQLite opens a rollback journal to learn whether it is hot. A fifo put
// under the journal's name, opened for reading, would wait for a writer that
// never comes: the read ends at once, with the rows or an error, never with
// a wrong count, and leaves the fifo as it was.
TEST(SqliteDatabaseSideFiles, aFifoUnderTheJournalsNameNeverHoldsARead) {
  const testing::TempDir temp;
  const auto file = temp / "a.sqlite";
  {
    const auto writer =
        SqliteDatabase::open(file.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    ASSERT_EQ(writer.exec("CREATE TABLE t(x); INSERT INTO t VALUES (1), (2), (3);"), SQLITE_OK);
  }
  const auto fifo = std::filesystem::path(file.string() + "-journal");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  const auto count = testing::releasingFifos(
      [uri = "file:" + file.string() + "?mode=ro"] { return countAt(uri); }, {fifo});
  if (count.rows) {
    EXPECT_EQ(*count.rows, 3);
  } else {
    EXPECT_NE(count.failure, SQLITE_OK);
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

}  // namespace
}  // namespace lumenfolio
