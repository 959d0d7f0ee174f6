// Per-asset numbers from the library's media analysis and detected faces.
#pragma once

#include <cstdint>

namespace lumenfolio {

struct AssetFeatures {
  double sharpness = 0;
  double exposure = 0;
  std::int32_t faces = 0;
  std::int32_t eyesClosed = 0;
  std::int32_t smiles = 0;
  bool isScreenshot = false;

  bool operator==(const AssetFeatures&) const = default;
};

}  // namespace lumenfolio
