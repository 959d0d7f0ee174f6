// Packs one asset's measure values into the blob the shared file stores:
// 5-byte entries (code, then the value as little-endian binary32), sorted by code.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <unordered_map>
#include <utility>

#include "model/bytes.hpp"

namespace lumenfolio {

class MeasurePacking {
 public:
  MeasurePacking() = delete;

  using Entry = std::pair<std::uint8_t, float>;
  static constexpr std::size_t kEntrySize = 5;

  // An empty map gives an empty blob.
  static Bytes pack(const std::map<std::uint8_t, float>& values);
  static Bytes pack(const std::unordered_map<std::uint8_t, float>& values);
  // For readers that gather values row by row without a map: the codes must be
  // distinct, in any order.
  static Bytes pack(std::span<const Entry> entries);
};

}  // namespace lumenfolio
