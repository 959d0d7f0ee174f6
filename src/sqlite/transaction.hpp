// A transaction on one connection that is rolled back unless it was committed,
// so a write that stops half-way (an exception, an early return) leaves nothing behind.
#pragma once

#include "sqlite/sqlite_database.hpp"

namespace lumenfolio {

class Transaction {
 public:
  // Begins; throws SqliteError when SQLite refuses.
  explicit Transaction(const SqliteDatabase& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Commits; throws SqliteError when SQLite refuses (a full disk, say), and the
  // transaction is then rolled back as it goes away.
  void commit();

 private:
  const SqliteDatabase& db_;
  bool committed_ = false;
};

}  // namespace lumenfolio
