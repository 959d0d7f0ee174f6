#include "sqlite/sqlite_database.hpp"

#include <utility>

namespace lumenfolio {

SqliteDatabase SqliteDatabase::open(const std::string& filename, int flags, int* resultCode) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(filename.c_str(), &raw, flags, nullptr);
  if (resultCode != nullptr) *resultCode = rc;
  SqliteDatabase db;
  // sqlite3_open_v2 may hand out a connection even when it fails; it must be closed either way.
  db.handle_.reset(raw);
  if (rc != SQLITE_OK) {
    db.openFailure_ =
        raw != nullptr
            ? SqliteError("open", filename, rc, sqlite3_extended_errcode(raw), sqlite3_errmsg(raw))
            : SqliteError::ofCode(rc, "open", filename);
    db.handle_.reset();
  }
  return db;
}

int SqliteDatabase::exec(const std::string& sql) const noexcept {
  if (!handle_) return SQLITE_MISUSE;
  return sqlite3_exec(handle_.get(), sql.c_str(), nullptr, nullptr, nullptr);
}

int SqliteDatabase::close() noexcept {
  if (!handle_) return SQLITE_OK;
  const int rc = sqlite3_close(handle_.release());
  return rc;
}

SqliteError SqliteDatabase::error(std::string operation) const {
  if (handle_) return SqliteError::of(handle_.get(), std::move(operation));
  if (openFailure_) return openFailure_->withOperation(std::move(operation));
  return SqliteError::ofCode(SQLITE_MISUSE, std::move(operation), {});
}

}  // namespace lumenfolio
