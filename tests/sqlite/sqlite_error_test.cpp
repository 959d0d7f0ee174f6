#include "sqlite/sqlite_error.hpp"

#include <gtest/gtest.h>

#include <string>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

TEST(SqliteErrors, aFailedOpenKeepsSqlitesCodeMessageAndFile) {
  testing::TempDir dir;
  const auto file = dir / "missing" / "x.sqlite";
  int rc = SQLITE_OK;
  const auto db = SqliteDatabase::open(file.string(), SQLITE_OPEN_READONLY, &rc);
  ASSERT_FALSE(db);
  EXPECT_EQ(rc, SQLITE_CANTOPEN);
  const auto error = db.error("open the library");
  EXPECT_EQ(error.resultCode(), SQLITE_CANTOPEN);
  EXPECT_EQ(error.path(), file);
  EXPECT_EQ(error.cause(), "unable to open database file");
  EXPECT_EQ(std::string(error.what()),
            "open the library " + file.string() + ": unable to open database file");
}

TEST(SqliteErrors, aStatementThatDoesNotCompileSaysWhy) {
  testing::TempDir dir;
  const auto db =
      SqliteDatabase::open((dir / "x.sqlite").string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  ASSERT_TRUE(db);
  const SqliteStatement statement(db, "SELECT x FROM nowhere");
  ASSERT_FALSE(statement);
  // Another call on the connection changes its message, not the statement's.
  ASSERT_EQ(db.exec("SELECT 1"), SQLITE_OK);
  const auto error = statement.error("prepare");
  EXPECT_EQ(error.resultCode(), SQLITE_ERROR);
  EXPECT_EQ(error.cause(), "no such table: nowhere");
  EXPECT_EQ(error.path(), dir / "x.sqlite");
}

TEST(SqliteErrors, aFailedStepCarriesTheExtendedCode) {
  testing::TempDir dir;
  const auto db =
      SqliteDatabase::open((dir / "x.sqlite").string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  ASSERT_EQ(db.exec("CREATE TABLE t(x INT PRIMARY KEY); INSERT INTO t VALUES(1)"), SQLITE_OK);
  SqliteStatement insert(db, "INSERT INTO t VALUES(1)");
  ASSERT_EQ(insert.stepResult(), SQLITE_CONSTRAINT);
  const auto error = insert.error("insert into");
  EXPECT_EQ(error.resultCode(), SQLITE_CONSTRAINT);
  EXPECT_EQ(error.extendedCode(), SQLITE_CONSTRAINT_PRIMARYKEY);
  EXPECT_EQ(error.cause(), "UNIQUE constraint failed: t.x");
}

TEST(SqliteErrors, aStatementOnAClosedConnectionCarriesTheOpenFailure) {
  const auto db = SqliteDatabase::open("/nonexistent-folder/x.sqlite", SQLITE_OPEN_READONLY);
  const SqliteStatement statement(db, "SELECT 1");
  ASSERT_FALSE(statement);
  EXPECT_EQ(statement.error("prepare").resultCode(), SQLITE_CANTOPEN);
}

}  // namespace
}  // namespace lumenfolio
