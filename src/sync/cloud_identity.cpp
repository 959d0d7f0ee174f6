#include "sync/cloud_identity.hpp"

#include <utility>

namespace lumenfolio {

std::unordered_map<std::string, std::string> CloudIdentity::cloudIDs(
    const std::vector<std::string>& localIdentifiers, PhotoPlatform& platform) {
  std::unordered_map<std::string, std::string> cloudIDs;
  if (localIdentifiers.empty()) return cloudIDs;
  cloudIDs.reserve(localIdentifiers.size());
  for (const auto& chunk : chunked(localIdentifiers, kChunkSize)) {
    for (auto& mapping : platform.cloudIdentifierMappings(chunk)) {
      // A failed mapping only leaves its own identifier out.
      if (!mapping.cloudIdentifier) continue;
      cloudIDs.insert_or_assign(std::move(mapping.localIdentifier),
                                std::move(*mapping.cloudIdentifier));
    }
  }
  return cloudIDs;
}

}  // namespace lumenfolio
