// bench_export_floor PACKAGE REFERENCE OUTPUT
//
// The floor an export is measured against: plain SQLite, nothing else. It
// steps the statements an export runs on the library's three databases,
// reads every column of every row, then writes the rows of REFERENCE (a
// shared file an export wrote) in one transaction to OUTPUT, flushed to disk
// as the exporter flushes its file. The rows are loaded before the clock
// starts: building them is the exporter's work, not the floor's. Prints the
// seconds it took and the number of rows written.
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "floor_sqlite.hpp"
#include "model/measure.hpp"

namespace {

namespace fs = std::filesystem;
using lumenfolio::floor::Connection;
using lumenfolio::floor::Statement;

constexpr const char* kAnalysis =
    "SELECT a.ZUUID, m.ZBLURRINESSSCORE, m.ZEXPOSURESCORE, a.ZISDETECTEDSCREENSHOT\n"
    "FROM ZASSET a\n"
    "JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK\n"
    "WHERE a.ZUUID IS NOT NULL";
constexpr const char* kFaces =
    "SELECT a.ZUUID, COUNT(*),\n"
    "       SUM(CASE WHEN d.ZISLEFTEYECLOSED = 1 OR d.ZISRIGHTEYECLOSED = 1 THEN 1 ELSE 0 END),\n"
    "       SUM(CASE WHEN d.ZHASSMILE = 1 THEN 1 ELSE 0 END)\n"
    "FROM ZDETECTEDFACE d CROSS JOIN ZASSET a ON a.Z_PK = d.ZASSETFORFACE\n"
    "WHERE a.ZUUID IS NOT NULL\n"
    "GROUP BY d.ZASSETFORFACE";
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: bench_export_floor PACKAGE REFERENCE OUTPUT\n", stderr);
    return 2;
  }
  try {
    const auto rows = lumenfolio::floor::rowsOf(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    const auto sink = readLibrary(argv[1]);
    lumenfolio::floor::writeRows(argv[3], rows);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.6f %zu %llu\n", took.count(), rows.size(),
                static_cast<unsigned long long>(sink % 1000));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_export_floor: %s\n", error.what());
    return 1;
  }
  return 0;
}
