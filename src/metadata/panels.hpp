// Panel texts per asset: the lexeme fields from leo.sqlite and the camera
// details from Photos.sqlite, each asset's record encoded as soon as it is
// complete.
#pragma once

#include <string>

#include "metadata/asset_metadata.hpp"
#include "model/asset_uuid.hpp"
#include "sqlite/sqlite_database.hpp"

namespace lumenfolio {

class Panels {
 public:
  // Either connection may be absent (null). Keys are upper-case UUID texts;
  // each value is the panel text (AssetMetadata::json) of the asset's record,
  // and only records with a text are in the result.
  //
  // The camera details are read first, so that each record can be encoded
  // and let go while leo.sqlite is walked: a large library never holds all
  // its records at once, only their texts. `expectedAssets`, when known,
  // sizes the tables once instead of letting them grow step by step.
  static ByAssetUuid<std::string> read(const SqliteDatabase* leo, const SqliteDatabase* library,
                                       std::size_t expectedAssets = 0);
};

}  // namespace lumenfolio
