#include "metadata/image_asset_listing.hpp"

#include <set>
#include <utility>

#include "metadata/text_cleaning.hpp"
#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio {
namespace {

constexpr const char* kAssetColumns = "PRAGMA table_info(ZASSET)";
constexpr const char* kCloudGUIDs = "SELECT ZUUID, ZCLOUDASSETGUID FROM ZASSET ORDER BY Z_PK";

// Images only, and only those the library shows: not trashed, not hidden, not
// kept out of sight. A library without one of these columns is not filtered by it.
constexpr std::pair<const char*, const char*> kImageConditions[] = {
    {"ZKIND", "ZKIND = 0"},
    {"ZTRASHEDSTATE", "ZTRASHEDSTATE = 0"},
    {"ZHIDDEN", "ZHIDDEN = 0"},
    {"ZVISIBILITYSTATE", "ZVISIBILITYSTATE = 0"},
};

std::set<std::string> assetColumns(const SqliteDatabase& db) {
  std::set<std::string> columns;
  SqliteStatement statement(db, kAssetColumns);
  while (statement.step()) {
    if (auto name = statement.columnText(1)) columns.emplace(*name);
  }
  return columns;
}

std::string imageAssetsQuery(const std::set<std::string>& columns) {
  std::string sql = "SELECT ZUUID FROM ZASSET";
  const char* joiner = " WHERE ";
  for (const auto& [column, condition] : kImageConditions) {
    if (!columns.contains(column)) continue;
    sql += joiner;
    sql += condition;
    joiner = " AND ";
  }
  return sql + " ORDER BY Z_PK";
}

std::vector<std::string> readLocalIdentifiers(const SqliteDatabase& db) {
  std::vector<std::string> identifiers;
  SqliteStatement statement(db, imageAssetsQuery(assetColumns(db)));
  while (statement.step()) {
    if (auto uuid = cleaned(statement.columnText(0))) {
      identifiers.push_back(*uuid + ImageAssetListing::kLocalIdentifierSuffix);
    }
  }
  return identifiers;
}

// In one pass; a row without a GUID maps to nothing, and a later row of the
// same UUID replaces an earlier one.
ByAssetUuid<std::string> readCloudGUIDs(const SqliteDatabase& db) {
  ByAssetUuid<std::string> guids;
  SqliteStatement statement(db, kCloudGUIDs);
  while (statement.step()) {
    auto uuid = cleanedUuid(statement.columnText(0));
    if (!uuid) continue;
    if (auto guid = cleaned(statement.columnText(1))) {
      guids.insert_or_assign(std::move(*uuid), std::move(*guid));
    } else {
      guids.erase(*uuid);
    }
  }
  return guids;
}

}  // namespace

ImageAssetListing ImageAssetListing::read(const SqliteDatabase& photos) {
  return {readLocalIdentifiers(photos), readCloudGUIDs(photos)};
}

}  // namespace lumenfolio
