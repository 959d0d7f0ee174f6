// Panel records per asset: the lexeme fields from leo.sqlite and the camera
// details from Photos.sqlite.
#pragma once

#include <string>
#include <unordered_map>

#include "metadata/asset_metadata.hpp"
#include "sqlite/sqlite_database.hpp"

namespace lumenfolio {

class Panels {
 public:
  // Either connection may be absent (null). Keys are upper-case UUID texts;
  // only records that are not empty are in the result.
  static std::unordered_map<std::string, AssetMetadata> read(const SqliteDatabase* leo,
                                                             const SqliteDatabase* library);

  // The two passes of read() on their own, so that the lexeme fields can be
  // read on another thread than Photos.sqlite: first the lexeme fields of
  // leo.sqlite, then the camera details added to them.
  static std::unordered_map<std::string, AssetMetadata> lexemeFields(const SqliteDatabase& leo);
  static void addCameraDetails(const SqliteDatabase& library,
                               std::unordered_map<std::string, AssetMetadata>& records);
};

}  // namespace lumenfolio
