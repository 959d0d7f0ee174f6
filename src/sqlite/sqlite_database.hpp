// One SQLite connection, closed when the object goes away.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "sqlite/sqlite_error.hpp"

namespace lumenfolio {

class SqliteDatabase {
 public:
  SqliteDatabase() = default;

  // Opens `filename` with sqlite3_open_v2 and `flags`. On failure the half-made
  // connection is closed and an empty database is returned that remembers why
  // (see error()); `resultCode`, when given, receives what sqlite3_open_v2 answered.
  // From the first call on, SQLite opens every file without waiting: a fifo
  // where a database or side file should be gives an error, never a wait.
  static SqliteDatabase open(const std::string& filename, int flags, int* resultCode = nullptr);

  explicit operator bool() const noexcept { return handle_ != nullptr; }
  sqlite3* handle() const noexcept { return handle_.get(); }

  // Runs one or more statements without a callback and returns SQLite's result code.
  int exec(const std::string& sql) const noexcept;

  // From now on every statement of this connection fails with SQLITE_INTERRUPT
  // (a step throws an SqliteError with that code) once `stop` is requested:
  // a long scan ends within a few thousand steps of its virtual machine,
  // checked on the thread that runs it, and so does every statement begun
  // afterwards. An empty token takes the check away again.
  void interruptWhen(std::stop_token stop);

  // Closes the connection now and returns what sqlite3_close answered.
  int close() noexcept;

  // Why the last call on this connection failed, or why it could not be
  // opened, as an error saying that `operation` failed.
  SqliteError error(std::string operation) const;

 private:
  struct Closer {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
  };
  // Where the progress handler looks; it must stay at one address while the
  // object moves, and outlive the connection.
  std::unique_ptr<std::stop_token> stop_;
  std::unique_ptr<sqlite3, Closer> handle_;
  // Read before the half-made connection is closed: afterwards nobody can ask.
  std::optional<SqliteError> openFailure_;
};

}  // namespace lumenfolio
