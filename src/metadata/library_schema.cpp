#include "metadata/library_schema.hpp"

#include <string>

#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio {
namespace {

// Qualified with "main": the probe asks about the library's own tables only.
constexpr const char* kAssetTableProbe = "SELECT 1 FROM main.ZASSET LIMIT 0";
constexpr const char* kGenericAssetTableProbe = "SELECT 1 FROM main.ZGENERICASSET LIMIT 0";
// The temp schema would otherwise live in a temporary file; in memory it
// leaves no trace anywhere. A view is flattened into the statements that
// read it, so they still use ZGENERICASSET's own indexes.
constexpr const char* kGenericAssetView =
    "PRAGMA temp_store = MEMORY;\n"
    "CREATE TEMP VIEW ZASSET AS SELECT * FROM main.ZGENERICASSET";

// Compiled and never run, the way the measures are probed: a statement that
// compiles names only tables and columns this library has.
bool compiles(const SqliteDatabase& library, const std::string& sql) {
  return static_cast<bool>(SqliteStatement(library, sql));
}

bool hasAssetColumn(const SqliteDatabase& library, std::string_view column) {
  return compiles(library, "SELECT a." + std::string(column) + " FROM ZASSET a LIMIT 0");
}

bool hasFaceColumn(const SqliteDatabase& library, std::string_view column) {
  return compiles(library, "SELECT d." + std::string(column) + " FROM ZDETECTEDFACE d LIMIT 0");
}

// Whether statements naming ZASSET compile now, the library's own table or
// the view over the older one; with neither, none of them does.
bool provideAssetTable(const SqliteDatabase& library) {
  if (compiles(library, kAssetTableProbe)) return true;
  return compiles(library, kGenericAssetTableProbe) && library.exec(kGenericAssetView) == SQLITE_OK;
}

std::string_view screenshotOf(const SqliteDatabase& library) {
  if (hasAssetColumn(library, "ZISDETECTEDSCREENSHOT")) return LibrarySchema::kScreenshotColumn;
  if (hasAssetColumn(library, "ZKINDSUBTYPE")) return LibrarySchema::kScreenshotBySubtype;
  return LibrarySchema::kNoScreenshot;
}

std::string_view faceAssetOf(const SqliteDatabase& library) {
  if (!hasFaceColumn(library, "ZASSETFORFACE") && hasFaceColumn(library, "ZASSET")) {
    return LibrarySchema::kOlderFaceAssetColumn;
  }
  return LibrarySchema::kFaceAssetColumn;
}

}  // namespace

LibrarySchema LibrarySchema::adapt(const SqliteDatabase& library) {
  LibrarySchema schema;
  if (!provideAssetTable(library)) return schema;
  schema.screenshot_ = screenshotOf(library);
  schema.faceAsset_ = faceAssetOf(library);
  return schema;
}

}  // namespace lumenfolio
