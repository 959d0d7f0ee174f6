#include "sqlite/sqlite_error.hpp"

#include <utility>

namespace lumenfolio {

SqliteError::SqliteError(std::string operation, std::filesystem::path path, int resultCode,
                         int extendedCode, std::string message)
    : Failure(std::move(operation), std::move(path), std::move(message)),
      resultCode_(resultCode),
      extendedCode_(extendedCode) {}

SqliteError SqliteError::of(sqlite3* db, std::string operation) {
  if (db == nullptr) return ofCode(SQLITE_MISUSE, std::move(operation), {});
  const char* file = sqlite3_db_filename(db, "main");
  return SqliteError(std::move(operation), file != nullptr ? file : "", sqlite3_errcode(db),
                     sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

SqliteError SqliteError::ofCode(int resultCode, std::string operation, std::filesystem::path path) {
  return SqliteError(std::move(operation), std::move(path), resultCode & 0xFF, resultCode,
                     sqlite3_errstr(resultCode));
}

SqliteError SqliteError::withOperation(std::string operation) const {
  return SqliteError(std::move(operation), path(), resultCode_, extendedCode_, cause());
}

}  // namespace lumenfolio
