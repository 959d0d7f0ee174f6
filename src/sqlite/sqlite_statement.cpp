#include "sqlite/sqlite_statement.hpp"

#include <utility>

namespace lumenfolio {

SqliteStatement::SqliteStatement(const SqliteDatabase& db, const std::string& sql) {
  if (!db) {
    prepareFailure_ = db.error("prepare");
    return;
  }
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &raw, nullptr) == SQLITE_OK) {
    handle_.reset(raw);
  } else {
    prepareFailure_ = db.error("prepare");
    sqlite3_finalize(raw);
  }
}

bool SqliteStatement::step() {
  if (!handle_) return false;
  const int rc = sqlite3_step(handle_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw error("step");
}

int SqliteStatement::stepResult() noexcept {
  if (!handle_) return SQLITE_MISUSE;
  return sqlite3_step(handle_.get());
}

int SqliteStatement::reset() noexcept {
  return handle_ ? sqlite3_reset(handle_.get()) : SQLITE_MISUSE;
}

int SqliteStatement::bindText(int index, std::string_view text) noexcept {
  // A null pointer would bind NULL; an empty view still needs a real address.
  const char* data = text.data() != nullptr ? text.data() : "";
  return sqlite3_bind_text64(handle_.get(), index, data, text.size(), SQLITE_TRANSIENT,
                             SQLITE_UTF8);
}

int SqliteStatement::bindBlob(int index, std::span<const std::uint8_t> bytes) noexcept {
  if (bytes.empty()) return sqlite3_bind_zeroblob(handle_.get(), index, 0);
  return sqlite3_bind_blob64(handle_.get(), index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

int SqliteStatement::bindDouble(int index, double value) noexcept {
  return sqlite3_bind_double(handle_.get(), index, value);
}

int SqliteStatement::bindInt(int index, int value) noexcept {
  return sqlite3_bind_int(handle_.get(), index, value);
}

int SqliteStatement::bindInt64(int index, std::int64_t value) noexcept {
  return sqlite3_bind_int64(handle_.get(), index, value);
}

int SqliteStatement::bindNull(int index) noexcept {
  return sqlite3_bind_null(handle_.get(), index);
}

int SqliteStatement::columnType(int column) const noexcept {
  return sqlite3_column_type(handle_.get(), column);
}

int SqliteStatement::columnInt(int column) const noexcept {
  return sqlite3_column_int(handle_.get(), column);
}

std::int64_t SqliteStatement::columnInt64(int column) const noexcept {
  return sqlite3_column_int64(handle_.get(), column);
}

double SqliteStatement::columnDouble(int column) const noexcept {
  return sqlite3_column_double(handle_.get(), column);
}

std::optional<std::string_view> SqliteStatement::columnText(int column) const noexcept {
  const auto* text = sqlite3_column_text(handle_.get(), column);
  if (text == nullptr) return std::nullopt;
  const auto size = static_cast<std::size_t>(sqlite3_column_bytes(handle_.get(), column));
  return std::string_view(reinterpret_cast<const char*>(text), size);
}

std::optional<std::span<const std::uint8_t>> SqliteStatement::columnBlob(
    int column) const noexcept {
  if (isNull(column)) return std::nullopt;
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(handle_.get(), column));
  const auto size = static_cast<std::size_t>(sqlite3_column_bytes(handle_.get(), column));
  if (data == nullptr || size == 0) return std::span<const std::uint8_t>();
  return std::span<const std::uint8_t>(data, size);
}

SqliteError SqliteStatement::error(std::string operation) const {
  if (handle_) return SqliteError::of(sqlite3_db_handle(handle_.get()), std::move(operation));
  if (prepareFailure_) return prepareFailure_->withOperation(std::move(operation));
  return SqliteError::ofCode(SQLITE_MISUSE, std::move(operation), {});
}

}  // namespace lumenfolio
