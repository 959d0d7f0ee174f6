// Plain SQLite for the floors the benchmarks measure the exporter against: a
// few wrappers of the C interface, the rows of a shared file an export wrote,
// and the floor of writing one (the shared file's schema and statement, the
// rows inserted in one transaction, then one flush of the file, as the
// exporter flushes its own).
#pragma once

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "sync/sync_file.hpp"

namespace lumenfolio::floor {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline void check(int result, int wanted, sqlite3* db, const std::string& what) {
  if (result != wanted) throw Failure(what + ": " + (db ? sqlite3_errmsg(db) : "no connection"));
}

struct Connection {
  sqlite3* db = nullptr;
  Connection(const std::filesystem::path& file, int flags, const char* uriSuffix) {
    const auto name = "file:" + file.string() + uriSuffix;
    check(sqlite3_open_v2(name.c_str(), &db, flags | SQLITE_OPEN_URI, nullptr), SQLITE_OK, db,
          "open " + file.string());
  }
  ~Connection() { sqlite3_close(db); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
};

struct Statement {
  sqlite3_stmt* handle = nullptr;
  sqlite3* db;
  Statement(sqlite3* connection, const std::string& sql) : db(connection) {
    check(sqlite3_prepare_v2(db, sql.c_str(), -1, &handle, nullptr), SQLITE_OK, db, sql);
  }
  ~Statement() { sqlite3_finalize(handle); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool step() {
    const int result = sqlite3_step(handle);
    if (result == SQLITE_ROW) return true;
    check(result, SQLITE_DONE, db, sqlite3_sql(handle));
    return false;
  }
};

inline void exec(sqlite3* db, const char* sql) {
  check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK, db, sql);
}

inline std::string textAt(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

// The rows of a shared file, in the order they were written.
inline std::vector<SyncFile::Features> rowsOf(const std::filesystem::path& sharedFile) {
  const Connection db(sharedFile, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, "?mode=ro");
  Statement statement(db.db, "SELECT * FROM feature ORDER BY rowid");
  std::vector<SyncFile::Features> rows;
  while (statement.step()) {
    auto* s = statement.handle;
    const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(s, 7));
    rows.push_back({.assetID = textAt(s, 0),
                    .sharpness = sqlite3_column_double(s, 1),
                    .exposure = sqlite3_column_double(s, 2),
                    .faces = sqlite3_column_int(s, 3),
                    .eyesClosed = sqlite3_column_int(s, 4),
                    .smiles = sqlite3_column_int(s, 5),
                    .isScreenshot = sqlite3_column_int(s, 6) != 0,
                    .measures = Bytes(blob, blob + sqlite3_column_bytes(s, 7)),
                    .terms = textAt(s, 8),
                    .panel = textAt(s, 9)});
  }
  return rows;
}

inline void writeRows(const std::filesystem::path& output,
                      const std::vector<SyncFile::Features>& rows) {
  std::filesystem::remove(output);
  {
    const Connection db(output, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        "");
    exec(db.db, SyncFile::kSchema);
    exec(db.db, "BEGIN");
    Statement meta(db.db, "INSERT OR REPLACE INTO meta VALUES(?,?)");
    for (const auto& [key, value] : {std::pair{"schema", SyncFile::kSchemaVersion},
                                     std::pair{"minReader", SyncFile::kMinReaderVersion},
                                     std::pair{"writtenAt", "0.0"}, std::pair{"device", "floor"}}) {
      sqlite3_bind_text(meta.handle, 1, key, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(meta.handle, 2, value, -1, SQLITE_TRANSIENT);
      meta.step();
      sqlite3_reset(meta.handle);
    }
    Statement insert(db.db, SyncFile::kInsertFeature);
    auto* s = insert.handle;
    for (const auto& row : rows) {
      sqlite3_bind_text(s, 1, row.assetID.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(s, 2, row.sharpness);
      sqlite3_bind_double(s, 3, row.exposure);
      sqlite3_bind_int(s, 4, row.faces);
      sqlite3_bind_int(s, 5, row.eyesClosed);
      sqlite3_bind_int(s, 6, row.smiles);
      sqlite3_bind_int(s, 7, row.isScreenshot ? 1 : 0);
      if (row.measures.empty()) {
        sqlite3_bind_zeroblob(s, 8, 0);
      } else {
        sqlite3_bind_blob(s, 8, row.measures.data(), static_cast<int>(row.measures.size()),
                          SQLITE_TRANSIENT);
      }
      sqlite3_bind_text(s, 9, row.terms.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s, 10, row.panel.c_str(), -1, SQLITE_TRANSIENT);
      insert.step();
      sqlite3_reset(s);
    }
    exec(db.db, "COMMIT");
  }
  const int fd = ::open(output.c_str(), O_RDONLY | O_CLOEXEC);
  const bool flushed = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!flushed) throw Failure("cannot flush " + output.string());
}

}  // namespace lumenfolio::floor
