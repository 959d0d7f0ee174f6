// bench_export_floor PACKAGE REFERENCE OUTPUT
//
// The floor an export is measured against: plain SQLite, nothing else. It
// steps the statements an export runs on the library's three databases,
// reads every column of every row, then writes the rows of REFERENCE (a
// shared file an export wrote) in one transaction to OUTPUT, flushed to disk
// as the exporter flushes its file. The rows are loaded before the clock
// starts: building them is the exporter's work, not the floor's. Prints the
// seconds it took and the number of rows written.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/measure.hpp"
#include "sync/sync_file.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* kAnalysis =
    "SELECT a.ZUUID, m.ZBLURRINESSSCORE, m.ZEXPOSURESCORE, a.ZISDETECTEDSCREENSHOT\n"
    "FROM ZASSET a\n"
    "JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK\n"
    "WHERE a.ZUUID IS NOT NULL";
constexpr const char* kFaces =
    "SELECT a.ZUUID, COUNT(*),\n"
    "       SUM(CASE WHEN d.ZISLEFTEYECLOSED = 1 OR d.ZISRIGHTEYECLOSED = 1 THEN 1 ELSE 0 END),\n"
    "       SUM(CASE WHEN d.ZHASSMILE = 1 THEN 1 ELSE 0 END)\n"
    "FROM ZDETECTEDFACE d JOIN ZASSET a ON a.Z_PK = d.ZASSETFORFACE\n"
    "WHERE a.ZUUID IS NOT NULL\n"
    "GROUP BY a.ZUUID";
constexpr const char* kMeasuresFrom =
    " FROM ZASSET a\n"
    "LEFT JOIN ZCOMPUTEDASSETATTRIBUTES c ON c.ZASSET = a.Z_PK\n"
    "LEFT JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK\n"
    "LEFT JOIN ZADDITIONALASSETATTRIBUTES x ON x.ZASSET = a.Z_PK";
constexpr const char* kPsi =
    "SELECT a.uuid_0, a.uuid_1, g.category, g.normalized_string\n"
    "FROM ga JOIN groups g ON g.rowid = ga.groupid\n"
    "JOIN assets a ON a.rowid = ga.assetid";
constexpr const char* kLexicon = "SELECT lexeme_id, category, content FROM lexicon ORDER BY pk";
constexpr const char* kItems = "SELECT identifier, lexeme_ids FROM items WHERE type = 1";
constexpr const char* kCamera =
    "SELECT a.ZUUID, e.ZCAMERAMODEL, e.ZLENSMODEL, e.ZISO, e.ZAPERTURE,\n"
    "       e.ZSHUTTERSPEED, e.ZFOCALLENGTH, e.ZFLASHFIRED\n"
    "FROM ZASSET a JOIN ZEXTENDEDATTRIBUTES e ON e.ZASSET = a.Z_PK";
constexpr const char* kAssetColumns = "PRAGMA table_info(ZASSET)";
constexpr const char* kImages =
    "SELECT ZUUID FROM ZASSET WHERE ZKIND = 0 AND ZTRASHEDSTATE = 0 AND ZHIDDEN = 0"
    " AND ZVISIBILITYSTATE = 0 ORDER BY Z_PK";
constexpr const char* kCloudGUIDs = "SELECT ZUUID, ZCLOUDASSETGUID FROM ZASSET ORDER BY Z_PK";

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void check(int result, int wanted, sqlite3* db, const std::string& what) {
  if (result != wanted) throw Failure(what + ": " + (db ? sqlite3_errmsg(db) : "no connection"));
}

struct Connection {
  sqlite3* db = nullptr;
  Connection(const fs::path& file, int flags, const char* uriSuffix) {
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

// Reads every column of the row the way its type asks, and folds what it read
// into `sink`, so that no read can be left out.
void readRow(sqlite3_stmt* statement, std::uint64_t& sink) {
  const int columns = sqlite3_column_count(statement);
  for (int i = 0; i < columns; ++i) {
    switch (sqlite3_column_type(statement, i)) {
      case SQLITE_INTEGER:
        sink += static_cast<std::uint64_t>(sqlite3_column_int64(statement, i));
        break;
      case SQLITE_FLOAT:
        sink += static_cast<std::uint64_t>(sqlite3_column_double(statement, i));
        break;
      case SQLITE_TEXT:
        sink += reinterpret_cast<std::uintptr_t>(sqlite3_column_text(statement, i));
        sink += static_cast<std::uint64_t>(sqlite3_column_bytes(statement, i));
        break;
      case SQLITE_BLOB:
        sink += reinterpret_cast<std::uintptr_t>(sqlite3_column_blob(statement, i));
        sink += static_cast<std::uint64_t>(sqlite3_column_bytes(statement, i));
        break;
      default:
        break;
    }
  }
}

void readAll(sqlite3* db, const std::string& sql, std::uint64_t& sink) {
  Statement statement(db, sql);
  while (statement.step()) readRow(statement.handle, sink);
}

// The measures the library at hand can give: each expression is compiled, not run.
std::string measuresQuery(sqlite3* db) {
  std::string query = "SELECT a.ZUUID";
  for (const auto& measure : lumenfolio::Measure::all()) {
    const auto probe = "SELECT " + measure.expression + kMeasuresFrom + " LIMIT 0";
    sqlite3_stmt* handle = nullptr;
    if (sqlite3_prepare_v2(db, probe.c_str(), -1, &handle, nullptr) == SQLITE_OK) {
      query += ", " + measure.expression;
    }
    sqlite3_finalize(handle);
  }
  return query + kMeasuresFrom + " WHERE a.ZUUID IS NOT NULL";
}

constexpr int kReadFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;

std::uint64_t readLibrary(const fs::path& package) {
  std::uint64_t sink = 0;
  const auto databases = package / "database";
  const Connection photos(databases / "Photos.sqlite", kReadFlags, "?mode=ro&readonly_shm=1");
  const Connection psi(databases / "search" / "psi.sqlite", kReadFlags, "?mode=ro&readonly_shm=1");
  const Connection leo(databases / "search" / "leo.sqlite", kReadFlags, "?mode=ro&readonly_shm=1");
  readAll(photos.db, kAnalysis, sink);
  readAll(photos.db, kFaces, sink);
  readAll(photos.db, measuresQuery(photos.db), sink);
  readAll(psi.db, kPsi, sink);
  readAll(leo.db, kLexicon, sink);
  readAll(leo.db, kItems, sink);
  readAll(photos.db, kCamera, sink);
  readAll(photos.db, kAssetColumns, sink);
  readAll(photos.db, kImages, sink);
  readAll(photos.db, kCloudGUIDs, sink);
  return sink;
}

struct Row {
  std::string assetID;
  double sharpness;
  double exposure;
  int faces;
  int eyesClosed;
  int smiles;
  int screenshot;
  std::vector<unsigned char> measures;
  std::string terms;
  std::string panel;
};

std::string textAt(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

std::vector<Row> referenceRows(const fs::path& reference) {
  const Connection db(reference, kReadFlags, "?mode=ro");
  Statement statement(db.db, "SELECT * FROM feature ORDER BY rowid");
  std::vector<Row> rows;
  while (statement.step()) {
    auto* s = statement.handle;
    const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(s, 7));
    rows.push_back(Row{textAt(s, 0), sqlite3_column_double(s, 1), sqlite3_column_double(s, 2),
                       sqlite3_column_int(s, 3), sqlite3_column_int(s, 4), sqlite3_column_int(s, 5),
                       sqlite3_column_int(s, 6),
                       std::vector<unsigned char>(blob, blob + sqlite3_column_bytes(s, 7)),
                       textAt(s, 8), textAt(s, 9)});
  }
  return rows;
}

void exec(sqlite3* db, const char* sql) {
  check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK, db, sql);
}

void writeRows(const fs::path& output, const std::vector<Row>& rows) {
  fs::remove(output);
  {
    const Connection db(output, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        "");
    exec(db.db, lumenfolio::SyncFile::kSchema);
    exec(db.db, "BEGIN");
    Statement meta(db.db, "INSERT OR REPLACE INTO meta VALUES(?,?)");
    for (const auto& [key, value] :
         {std::pair{"schema", lumenfolio::SyncFile::kSchemaVersion},
          std::pair{"minReader", lumenfolio::SyncFile::kMinReaderVersion},
          std::pair{"writtenAt", "0.0"}, std::pair{"device", "floor"}}) {
      sqlite3_bind_text(meta.handle, 1, key, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(meta.handle, 2, value, -1, SQLITE_TRANSIENT);
      meta.step();
      sqlite3_reset(meta.handle);
    }
    Statement insert(db.db, lumenfolio::SyncFile::kInsertFeature);
    auto* s = insert.handle;
    for (const auto& row : rows) {
      sqlite3_bind_text(s, 1, row.assetID.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(s, 2, row.sharpness);
      sqlite3_bind_double(s, 3, row.exposure);
      sqlite3_bind_int(s, 4, row.faces);
      sqlite3_bind_int(s, 5, row.eyesClosed);
      sqlite3_bind_int(s, 6, row.smiles);
      sqlite3_bind_int(s, 7, row.screenshot);
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
  if (fd < 0 || ::fsync(fd) != 0) throw Failure("cannot flush " + output.string());
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: bench_export_floor PACKAGE REFERENCE OUTPUT\n", stderr);
    return 2;
  }
  try {
    const auto rows = referenceRows(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    const auto sink = readLibrary(argv[1]);
    writeRows(argv[3], rows);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.6f %zu %llu\n", took.count(), rows.size(),
                static_cast<unsigned long long>(sink % 1000));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_export_floor: %s\n", error.what());
    return 1;
  }
  return 0;
}
