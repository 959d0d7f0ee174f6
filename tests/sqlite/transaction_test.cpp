#include "sqlite/transaction.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = SqliteDatabase::open((dir_ / "t.sqlite").string(),
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    ASSERT_TRUE(db_);
    ASSERT_EQ(db_.exec("CREATE TABLE t(x INT)"), SQLITE_OK);
  }

  int rows() const {
    SqliteStatement count(db_, "SELECT count(*) FROM t");
    if (!count.step()) throw std::runtime_error("count failed");
    return count.columnInt(0);
  }

  testing::TempDir dir_;
  SqliteDatabase db_;
};

TEST_F(TransactionTest, keepsWhatWasCommitted) {
  Transaction transaction(db_);
  ASSERT_EQ(db_.exec("INSERT INTO t VALUES(1)"), SQLITE_OK);
  transaction.commit();
  EXPECT_EQ(rows(), 1);
}

TEST_F(TransactionTest, rollsBackWhenLeftUncommitted) {
  {
    Transaction transaction(db_);
    ASSERT_EQ(db_.exec("INSERT INTO t VALUES(1)"), SQLITE_OK);
  }
  EXPECT_EQ(rows(), 0);
  // The connection is free for the next transaction.
  Transaction next(db_);
  next.commit();
}

TEST_F(TransactionTest, rollsBackWhenAnExceptionLeavesIt) {
  try {
    Transaction transaction(db_);
    ASSERT_EQ(db_.exec("INSERT INTO t VALUES(1)"), SQLITE_OK);
    throw std::runtime_error("stop half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(rows(), 0);
}

TEST_F(TransactionTest, refusedBeginCarriesSqlitesCodeAndMessage) {
  Transaction outer(db_);
  try {
    Transaction inner(db_);
    FAIL() << "a nested BEGIN was accepted";
  } catch (const SqliteError& error) {
    EXPECT_EQ(error.resultCode(), SQLITE_ERROR);
    EXPECT_EQ(error.operation(), "begin a transaction on");
    EXPECT_EQ(error.path(), dir_ / "t.sqlite");
    EXPECT_NE(error.cause().find("within a transaction"), std::string::npos) << error.cause();
  }
}

TEST_F(TransactionTest, refusedCommitThrowsAndRollsBack) {
  // A deferred foreign key is checked at COMMIT, which SQLite then refuses
  // while the transaction stays open.
  ASSERT_EQ(db_.exec("PRAGMA foreign_keys=ON;"
                     "CREATE TABLE parent(id INT PRIMARY KEY);"
                     "CREATE TABLE child(p INT REFERENCES parent(id) DEFERRABLE INITIALLY "
                     "DEFERRED);"),
            SQLITE_OK);
  {
    Transaction transaction(db_);
    ASSERT_EQ(db_.exec("INSERT INTO t VALUES(1); INSERT INTO child VALUES(42)"), SQLITE_OK);
    try {
      transaction.commit();
      FAIL() << "the commit of a broken foreign key was accepted";
    } catch (const SqliteError& error) {
      EXPECT_EQ(error.resultCode(), SQLITE_CONSTRAINT);
      EXPECT_EQ(error.operation(), "commit a transaction on");
      EXPECT_NE(error.cause().find("FOREIGN KEY"), std::string::npos) << error.cause();
    }
  }
  EXPECT_EQ(rows(), 0);
}

}  // namespace
}  // namespace lumenfolio
