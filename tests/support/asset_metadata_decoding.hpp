// Reads a panel text back into a record, so tests can check what an export
// wrote field by field; the exporter itself only ever writes panel texts.
#pragma once

#include <optional>
#include <string>

#include "metadata/asset_metadata.hpp"

namespace lumenfolio::testing {

// Unknown keys are ignored; a value of the wrong type fails the decoding
// (nothing is returned).
std::optional<AssetMetadata> decodedAssetMetadata(const std::string& json);

}  // namespace lumenfolio::testing
