// Maps the photo platform's local asset identifiers to cloud identifiers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sync/photo_platform.hpp"

namespace lumenfolio {

// Calls visit(chunk) for each consecutive sub-list of `size` elements, the
// last holding the remainder, each made only when its turn comes; an empty
// list gives no chunks, and a size of zero or less, or one at least the
// element count, gives the whole list as one chunk.
template <typename T, typename Visit>
void forEachChunk(const std::vector<T>& list, std::ptrdiff_t size, Visit visit) {
  const auto count = static_cast<std::ptrdiff_t>(list.size());
  if (size <= 0) size = count;
  for (std::ptrdiff_t start = 0; start < count; start += size) {
    const auto end = std::min(start + size, count);
    visit(std::vector<T>(list.begin() + start, list.begin() + end));
  }
}

// The list cut into consecutive sub-lists as forEachChunk cuts it.
template <typename T>
std::vector<std::vector<T>> chunked(const std::vector<T>& list, std::ptrdiff_t size) {
  std::vector<std::vector<T>> chunks;
  forEachChunk(list, size, [&chunks](std::vector<T> chunk) { chunks.push_back(std::move(chunk)); });
  return chunks;
}

class CloudIdentity {
 public:
  static constexpr std::ptrdiff_t kChunkSize = 2500;

  // Local identifier to cloud identifier text, for the identifiers the platform
  // could map; the others are absent.
  static std::unordered_map<std::string, std::string> cloudIDs(
      const std::vector<std::string>& localIdentifiers, PhotoPlatform& platform);

  // Each identifier's cloud identifier text, in the order of the list, or
  // nothing where the platform could not map it. Compact for a large library:
  // no identifier is held a second time as a key.
  static std::vector<std::optional<std::string>> cloudIDsInOrder(
      const std::vector<std::string>& localIdentifiers, PhotoPlatform& platform);
};

}  // namespace lumenfolio
