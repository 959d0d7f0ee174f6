#include "sync/cloud_identity.hpp"

#include <utility>

namespace lumenfolio {

std::unordered_map<std::string, std::string> CloudIdentity::cloudIDs(
    const std::vector<std::string>& localIdentifiers, PhotoPlatform& platform) {
  std::unordered_map<std::string, std::string> cloudIDs;
  if (localIdentifiers.empty()) return cloudIDs;
  cloudIDs.reserve(localIdentifiers.size());
  // One chunk at a time: a large library's identifiers are not copied all at once.
  forEachChunk(localIdentifiers, kChunkSize, [&](const std::vector<std::string>& chunk) {
    for (auto& mapping : platform.cloudIdentifierMappings(chunk)) {
      // A failed mapping only leaves its own identifier out.
      if (!mapping.cloudIdentifier) continue;
      cloudIDs.insert_or_assign(std::move(mapping.localIdentifier),
                                std::move(*mapping.cloudIdentifier));
    }
  });
  return cloudIDs;
}

}  // namespace lumenfolio
