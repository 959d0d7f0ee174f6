#include "sqlite/sqlite_database.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <thread>
#include <utility>

#include "sqlite/sqlite_error.hpp"
#include "sqlite/sqlite_statement.hpp"

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

}  // namespace
}  // namespace lumenfolio
