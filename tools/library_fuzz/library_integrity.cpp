#include "library_fuzz/library_integrity.hpp"

#include <optional>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio::fuzz {
namespace fs = std::filesystem;
namespace {

fs::path withSuffix(const fs::path& file, const char* suffix) {
  fs::path side = file;
  side += suffix;
  return side;
}

// What is wrong with `file` as a database, or nothing when it passes.
std::optional<std::string> checked(const fs::path& file, const fs::path& scratch) {
  fs::create_directories(scratch);
  const auto copy = scratch / file.filename();
  fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
  for (const char* suffix : {"-wal", "-shm"}) {
    const auto side = withSuffix(file, suffix);
    if (fs::is_regular_file(fs::symlink_status(side))) {
      fs::copy_file(side, withSuffix(copy, suffix), fs::copy_options::overwrite_existing);
    }
  }
  const auto db = SqliteDatabase::open(copy.string(), SQLITE_OPEN_READWRITE);
  if (!db) return "cannot be opened";
  SqliteStatement check(db, "PRAGMA integrity_check");
  if (!check) return std::string(sqlite3_errmsg(db.handle()));
  if (check.stepResult() != SQLITE_ROW) return std::string(sqlite3_errmsg(db.handle()));
  const auto answer = std::string(check.columnText(0).value_or(""));
  if (answer != "ok") return answer;
  return std::nullopt;
}

}  // namespace

const std::vector<fs::path>& LibraryIntegrity::databases() {
  static const std::vector<fs::path> kDatabases{
      "database/Photos.sqlite", "database/search/psi.sqlite", "database/search/leo.sqlite"};
  return kDatabases;
}

LibraryIntegrity::Failures LibraryIntegrity::failures(const fs::path& package,
                                                      const fs::path& scratch) {
  Failures found;
  for (const auto& database : databases()) {
    const auto file = package / database;
    const auto status = fs::symlink_status(file);
    if (!fs::exists(status)) continue;
    std::optional<std::string> failure;
    if (!fs::is_regular_file(status)) {
      failure = "is no regular file";
    } else {
      failure = checked(file, scratch / database.stem());
    }
    if (failure) found.emplace(database, *failure);
  }
  return found;
}

}  // namespace lumenfolio::fuzz
