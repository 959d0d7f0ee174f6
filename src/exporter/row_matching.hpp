// The rows of an export: one for each photo with a cloud identifier, in the
// order the photo platform listed them, holding what the library's tables
// hold for the photo's UUID; a photo the tables say nothing about has none.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "metadata/asset_features.hpp"
#include "model/asset_uuid.hpp"
#include "model/bytes.hpp"
#include "sync/sync_file.hpp"

namespace lumenfolio {

class RowMatching {
 public:
  // What the library reader gave, by UUID text: features and measures as
  // Photos.sqlite stores it, terms and panel texts upper-cased.
  struct Tables {
    ByAssetUuid<AssetFeatures> features;
    ByAssetUuid<Bytes> measures;
    ByAssetUuid<std::string> terms;
    ByAssetUuid<std::string> panels;
  };

  // A photo's UUID is the first 36 characters of its local identifier as a
  // person reads them; `cloudIDs` holds each photo's cloud identifier, in the
  // photos' order. The tables' values and the cloud identifiers move into the
  // rows, so that a large library is never held twice; a second photo of the
  // same UUID gets the same values as the first, and photos whose UUIDs
  // upper-case alike each get their panel. The tables keep their entries,
  // emptied, for the caller to let go of when it suits it.
  static std::vector<SyncFile::Features> rows(const std::vector<std::string>& localIdentifiers,
                                              std::vector<std::optional<std::string>>& cloudIDs,
                                              Tables& tables);
};

}  // namespace lumenfolio
