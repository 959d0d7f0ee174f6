#include "metadata/sqlite_database.hpp"

namespace lumenfolio {

SqliteDatabase SqliteDatabase::open(const std::string& filename, int flags, int* resultCode) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(filename.c_str(), &raw, flags, nullptr);
  if (resultCode != nullptr) *resultCode = rc;
  SqliteDatabase db;
  // sqlite3_open_v2 may hand out a connection even when it fails; it must be closed either way.
  db.handle_.reset(raw);
  if (rc != SQLITE_OK) db.handle_.reset();
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

}  // namespace lumenfolio
