// Sample libraries for the headless tests, and what a test reads back: the
// library's own tables (always from a copy, so reading never touches the
// package under test), every file of a package, and the shared file's rows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "sample_library/sample_library.hpp"

namespace lumenfolio::testing {

inline std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

inline sample::SampleLibrary::Summary writeSampleLibrary(const std::filesystem::path& package,
                                                         int assets = 240, std::uint64_t seed = 7) {
  return sample::SampleLibrary::write(package, {.assets = assets, .seed = seed});
}

inline std::filesystem::path photosDatabase(const std::filesystem::path& package) {
  return package / "database" / "Photos.sqlite";
}

// Opens a database of a package copy for the test's own reads and changes.
inline SqliteDatabase openCopy(const std::filesystem::path& file) {
  auto db = SqliteDatabase::open(file.string(), SQLITE_OPEN_READWRITE);
  if (!db) throw std::runtime_error("cannot open " + file.string());
  return db;
}

inline void execute(const std::filesystem::path& file, const std::string& sql) {
  const auto db = openCopy(file);
  ASSERT_EQ(db.exec(sql), SQLITE_OK) << sql << ": " << sqlite3_errmsg(db.handle());
}

inline std::filesystem::path copyPackage(const std::filesystem::path& package,
                                         const std::filesystem::path& copy) {
  std::filesystem::copy(package, copy, std::filesystem::copy_options::recursive);
  return copy;
}

// Every regular file of a folder, by relative path, with its bytes.
inline std::map<std::string, std::string> filesOf(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const auto relative = std::filesystem::relative(entry.path(), folder).string();
    if (!entry.is_regular_file()) {
      files[relative + "/"] = "";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[relative] = bytes.str();
  }
  return files;
}

// One image the photo platform lists, as Photos.sqlite holds it.
struct ListedImage {
  std::int64_t pk = 0;
  std::string uuid;       // cleaned ZUUID
  std::string cloudGuid;  // cleaned ZCLOUDASSETGUID, empty when missing
};

constexpr const char* kListedCondition =
    "ZKIND = 0 AND ZTRASHEDSTATE = 0 AND ZHIDDEN = 0 AND ZVISIBILITYSTATE = 0";

inline std::vector<ListedImage> listedImages(const std::filesystem::path& packageCopy) {
  const auto db = openCopy(photosDatabase(packageCopy));
  SqliteStatement select(db, std::string("SELECT Z_PK, ZUUID, ZCLOUDASSETGUID FROM ZASSET WHERE ") +
                                 kListedCondition + " ORDER BY Z_PK");
  std::vector<ListedImage> images;
  while (select.step()) {
    images.push_back({select.columnInt64(0), trimmed(select.columnText(1).value_or("")),
                      trimmed(select.columnText(2).value_or(""))});
  }
  return images;
}

inline std::int64_t countOf(const std::filesystem::path& file, const std::string& sql) {
  const auto db = openCopy(file);
  SqliteStatement select(db, sql);
  if (!select.step()) throw std::runtime_error("no answer to " + sql);
  return select.columnInt64(0);
}

inline double doubleOf(const std::filesystem::path& file, const std::string& sql) {
  const auto db = openCopy(file);
  SqliteStatement select(db, sql);
  if (!select.step()) throw std::runtime_error("no answer to " + sql);
  return select.columnDouble(0);
}

// One row of the shared file's feature table.
struct SharedRow {
  double sharpness = 0;
  double exposure = 0;
  int faces = 0;
  int eyesClosed = 0;
  int smiles = 0;
  int screenshot = 0;
  std::vector<std::uint8_t> measures;
  std::string terms;
  std::string panel;
  bool operator==(const SharedRow&) const = default;
};

struct SharedFileContent {
  std::map<std::string, SharedRow> features;  // by assetID
  std::map<std::string, std::string> meta;
  std::int64_t otherRows = 0;  // rating, print and verdict together
  std::string integrity;
};

inline SharedFileContent readSharedFile(const std::filesystem::path& file) {
  SharedFileContent content;
  const auto db = SqliteDatabase::open(file.string(), SQLITE_OPEN_READONLY);
  if (!db) throw std::runtime_error("cannot open " + file.string());
  SqliteStatement check(db, "PRAGMA integrity_check");
  if (check.step()) content.integrity = std::string(check.columnText(0).value_or(""));
  SqliteStatement meta(db, "SELECT key, value FROM meta");
  while (meta.step()) {
    content.meta[std::string(*meta.columnText(0))] = std::string(meta.columnText(1).value_or(""));
  }
  SqliteStatement others(db,
                         "SELECT (SELECT COUNT(*) FROM rating) + (SELECT COUNT(*) FROM print) + "
                         "(SELECT COUNT(*) FROM verdict)");
  if (others.step()) content.otherRows = others.columnInt64(0);
  SqliteStatement rows(
      db,
      "SELECT assetID, sharpness, exposure, faces, eyesClosed, smiles, screenshot, "
      "measures, terms, panel FROM feature");
  while (rows.step()) {
    SharedRow row;
    row.sharpness = rows.columnDouble(1);
    row.exposure = rows.columnDouble(2);
    row.faces = rows.columnInt(3);
    row.eyesClosed = rows.columnInt(4);
    row.smiles = rows.columnInt(5);
    row.screenshot = rows.columnInt(6);
    const auto blob = rows.columnBlob(7);
    if (blob) row.measures.assign(blob->begin(), blob->end());
    row.terms = std::string(rows.columnText(8).value_or(""));
    row.panel = std::string(rows.columnText(9).value_or(""));
    content.features[std::string(*rows.columnText(0))] = row;
  }
  return content;
}

// The one shared file in the folder; fails the test when there is not exactly one.
inline std::filesystem::path sharedFileIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    found.push_back(entry.path());
  EXPECT_EQ(found.size(), 1u) << "the shared folder should hold exactly the shared file";
  for (const auto& file : found) {
    const auto name = file.filename().string();
    if (name.starts_with("pixdeck-") && name.ends_with("-features.pdsync")) return file;
  }
  ADD_FAILURE() << "no shared file in " << folder;
  return {};
}

}  // namespace lumenfolio::testing
