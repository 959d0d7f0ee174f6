// Search-index and camera-detail databases written with a few SQL statements
// in a test's temporary folder, and opened back read-only as the store does.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "library_fixtures.hpp"
#include "sqlite/sqlite_database.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio::testing {

inline constexpr const char* kPsiSchema = R"sql(
CREATE TABLE assets (uuid_0 INTEGER, uuid_1 INTEGER);
CREATE TABLE groups (category INTEGER, normalized_string TEXT);
CREATE TABLE ga (assetid INTEGER, groupid INTEGER);
)sql";

inline constexpr const char* kLeoSchema = R"sql(
CREATE TABLE lexicon (pk INTEGER PRIMARY KEY, lexeme_id INTEGER, category INTEGER, content TEXT);
CREATE TABLE items (identifier TEXT, lexeme_ids BLOB, type INTEGER);
)sql";

inline constexpr const char* kCameraSchema = R"sql(
CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZUUID VARCHAR);
CREATE TABLE ZEXTENDEDATTRIBUTES (Z_PK INTEGER PRIMARY KEY, ZASSET INTEGER,
  ZCAMERAMODEL VARCHAR, ZLENSMODEL VARCHAR, ZISO INTEGER, ZAPERTURE FLOAT,
  ZSHUTTERSPEED FLOAT, ZFOCALLENGTH FLOAT, ZFLASHFIRED INTEGER);
)sql";

inline SqliteDatabase openReadOnly(const std::filesystem::path& file) {
  return SqliteDatabase::open("file:" + file.string() + "?mode=ro",
                              SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

// Writes a database named `name` in `folder` and opens it read-only.
inline SqliteDatabase makeDatabase(const TempDir& folder, const std::string& name,
                                   const std::string& schema, const std::string& rows) {
  const auto file = folder / name;
  // Nothing here needs to survive a power cut: no syncs, one transaction for the rows.
  writeDatabase(file, "PRAGMA synchronous=OFF;\n" + schema, "BEGIN;\n" + rows + "COMMIT;");
  return openReadOnly(file);
}

// An SQL blob literal of 32-bit ids, little-endian, as the items table holds them.
inline std::string idBlob(std::initializer_list<std::uint32_t> ids) {
  std::string literal = "X'";
  char byte[3];
  for (const auto id : ids) {
    for (int shift = 0; shift < 32; shift += 8) {
      std::snprintf(byte, sizeof byte, "%02X", (id >> shift) & 0xFF);
      literal += byte;
    }
  }
  return literal + "'";
}

// An SQL text literal (the text holds no quote).
inline std::string quoted(const std::string& text) {
  return "'" + text + "'";
}

// One lexicon row: content is an SQL expression.
struct LexiconRow {
  std::int64_t id;
  int category;
  std::string content;
};

inline std::string lexiconRows(const std::vector<LexiconRow>& rows) {
  std::string sql;
  for (const auto& row : rows) {
    sql += "INSERT INTO lexicon (lexeme_id, category, content) VALUES (" + std::to_string(row.id) +
           ", " + std::to_string(row.category) + ", " + row.content + ");\n";
  }
  return sql;
}

// One row of items; identifier and blob are SQL expressions.
inline std::string itemRow(const std::string& identifier, const std::string& blob, int type = 1) {
  return "INSERT INTO items (identifier, lexeme_ids, type) VALUES (" + identifier + ", " + blob +
         ", " + std::to_string(type) + ");\n";
}

}  // namespace lumenfolio::testing
