// The photo platform's view of a library, read from its Photos.sqlite: the
// local identifiers of the images the library shows, in its own order, and
// every asset's cloud GUID by its UUID.
//
// Read on the same connection, in the same read transaction, as the store's
// features and measures, so that assets, cloud identifiers and features of
// one run all come from one version of the library.
#pragma once

#include <string>
#include <vector>

#include "model/asset_uuid.hpp"
#include "sqlite/sqlite_database.hpp"

namespace lumenfolio {

struct ImageAssetListing {
  static constexpr const char* kLocalIdentifierSuffix = "/L0/001";

  // Each visible, untrashed image's cleaned ZUUID followed by the suffix.
  std::vector<std::string> localIdentifiers;
  // Cleaned ZCLOUDASSETGUID by cleaned ZUUID; assets without one are absent.
  ByAssetUuid<std::string> cloudGUIDs;

  static ImageAssetListing read(const SqliteDatabase& photos);
};

}  // namespace lumenfolio
