#include "sqlite/transaction.hpp"

namespace lumenfolio {

Transaction::Transaction(const SqliteDatabase& db) : db_(db) {
  if (db_.exec("BEGIN") != SQLITE_OK) throw db_.error("begin a transaction on");
}

Transaction::~Transaction() {
  // A failed COMMIT may already have ended the transaction; SQLite then
  // answers the ROLLBACK with an error that changes nothing.
  if (!committed_) db_.exec("ROLLBACK");
}

void Transaction::commit() {
  if (db_.exec("COMMIT") != SQLITE_OK) throw db_.error("commit a transaction on");
  committed_ = true;
}

}  // namespace lumenfolio
