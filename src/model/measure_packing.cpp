#include "model/measure_packing.hpp"

#include <algorithm>
#include <bit>
#include <vector>

namespace lumenfolio {
namespace {

bool byCode(const MeasurePacking::Entry& lhs, const MeasurePacking::Entry& rhs) {
  return lhs.first < rhs.first;
}

// `entries` must already be in ascending order of code.
template <typename Entries>
Bytes packInOrder(const Entries& entries) {
  Bytes blob;
  blob.reserve(std::size(entries) * MeasurePacking::kEntrySize);
  for (const auto& [code, value] : entries) {
    // The byte order belongs to the blob, not to the machine: least significant first.
    const auto bits = std::bit_cast<std::uint32_t>(value);
    blob.push_back(code);
    for (int shift = 0; shift < 32; shift += 8) {
      blob.push_back(static_cast<std::uint8_t>(bits >> shift));
    }
  }
  return blob;
}

Bytes packSorted(std::vector<MeasurePacking::Entry> entries) {
  std::sort(entries.begin(), entries.end(), byCode);
  return packInOrder(entries);
}

}  // namespace

Bytes MeasurePacking::pack(const std::map<std::uint8_t, float>& values) {
  return packInOrder(values);
}

Bytes MeasurePacking::pack(const std::unordered_map<std::uint8_t, float>& values) {
  return packSorted({values.begin(), values.end()});
}

Bytes MeasurePacking::pack(std::span<const Entry> entries) {
  // Readers fill entries in catalogue order, which is already ascending: no copy then.
  if (std::is_sorted(entries.begin(), entries.end(), byCode)) return packInOrder(entries);
  return packSorted({entries.begin(), entries.end()});
}

}  // namespace lumenfolio
