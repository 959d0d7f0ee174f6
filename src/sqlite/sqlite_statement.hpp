// A prepared statement: compiled from the whole text, stepped, read by column,
// finalized in the destructor.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sqlite/sqlite_database.hpp"

namespace lumenfolio {

class SqliteStatement {
 public:
  // Compiles `sql` on `db`; a statement that does not compile (or an absent
  // connection) leaves the object empty, which reads as false and remembers
  // why (see error()).
  SqliteStatement(const SqliteDatabase& db, const std::string& sql);

  explicit operator bool() const noexcept { return handle_ != nullptr; }
  sqlite3_stmt* handle() const noexcept { return handle_.get(); }

  // Steps once: true for a row, false once the rows are done (or at once for
  // a statement that did not compile). Any other result throws SqliteError
  // with SQLite's code and message: a scan that ends in an error (a damaged
  // page, an I/O error, a lock) never reads as a scan that reached its end.
  bool step();
  // Steps once and returns SQLite's result code.
  int stepResult() noexcept;
  int reset() noexcept;

  // Text and blobs are copied at bind time. An empty text or blob is bound as
  // an empty value, never as NULL: readers tell the two apart.
  int bindText(int index, std::string_view text) noexcept;
  int bindBlob(int index, std::span<const std::uint8_t> bytes) noexcept;
  int bindDouble(int index, double value) noexcept;
  int bindInt(int index, int value) noexcept;
  int bindInt64(int index, std::int64_t value) noexcept;
  int bindNull(int index) noexcept;

  int columnType(int column) const noexcept;
  bool isNull(int column) const noexcept { return columnType(column) == SQLITE_NULL; }
  int columnInt(int column) const noexcept;
  std::int64_t columnInt64(int column) const noexcept;
  double columnDouble(int column) const noexcept;
  // The column's bytes as text, NUL bytes included; nothing for NULL.
  std::optional<std::string_view> columnText(int column) const noexcept;
  // The column's bytes as a blob; nothing for NULL. A zero-length blob is an empty span.
  std::optional<std::span<const std::uint8_t>> columnBlob(int column) const noexcept;

  // Why the last call failed (a bind, a step) or why the statement did not
  // compile, as an error saying that `operation` failed.
  SqliteError error(std::string operation) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
  };
  std::unique_ptr<sqlite3_stmt, Finalizer> handle_;
  // Read at once: the connection's message changes with its next call.
  std::optional<SqliteError> prepareFailure_;
};

}  // namespace lumenfolio
