#include "library_fuzz/shared_file_census.hpp"

#include <vector>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio::fuzz {
namespace fs = std::filesystem;
namespace {

// Terms are joined by single line feeds, measures packed as a code byte and a
// four-byte value each.
constexpr const char* kCensus =
    "SELECT COUNT(*),"
    " TOTAL(CASE WHEN terms = '' THEN 0"
    "  ELSE length(terms) - length(replace(terms, char(10), '')) + 1 END),"
    " TOTAL(length(CAST(measures AS BLOB))) / 5 FROM feature";

std::vector<fs::path> sharedFilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".pdsync") files.push_back(entry.path());
  }
  return files;
}

}  // namespace

std::optional<SharedFileCensus> SharedFileCensus::inFolder(const fs::path& folder) {
  const auto files = sharedFilesIn(folder);
  if (files.size() != 1) return std::nullopt;
  const auto db = SqliteDatabase::open(files.front().string(), SQLITE_OPEN_READONLY);
  SqliteStatement census(db, kCensus);
  if (!census || census.stepResult() != SQLITE_ROW) return std::nullopt;
  return SharedFileCensus{census.columnInt64(0), census.columnInt64(1), census.columnInt64(2)};
}

std::string SharedFileCensus::describe() const {
  return std::to_string(rows) + " rows, " + std::to_string(terms) + " terms, " +
         std::to_string(measures) + " measures";
}

}  // namespace lumenfolio::fuzz
