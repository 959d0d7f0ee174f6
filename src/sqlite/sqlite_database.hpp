// One SQLite connection, closed when the object goes away.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string>

#include "sqlite/sqlite_error.hpp"

namespace lumenfolio {

class SqliteDatabase {
 public:
  SqliteDatabase() = default;

  // Opens `filename` with sqlite3_open_v2 and `flags`. On failure the half-made
  // connection is closed and an empty database is returned that remembers why
  // (see error()); `resultCode`, when given, receives what sqlite3_open_v2 answered.
  static SqliteDatabase open(const std::string& filename, int flags, int* resultCode = nullptr);

  explicit operator bool() const noexcept { return handle_ != nullptr; }
  sqlite3* handle() const noexcept { return handle_.get(); }

  // Runs one or more statements without a callback and returns SQLite's result code.
  int exec(const std::string& sql) const noexcept;

  // Closes the connection now and returns what sqlite3_close answered.
  int close() noexcept;

  // Why the last call on this connection failed, or why it could not be
  // opened, as an error saying that `operation` failed.
  SqliteError error(std::string operation) const;

 private:
  struct Closer {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
  };
  std::unique_ptr<sqlite3, Closer> handle_;
  // Read before the half-made connection is closed: afterwards nobody can ask.
  std::optional<SqliteError> openFailure_;
};

}  // namespace lumenfolio
