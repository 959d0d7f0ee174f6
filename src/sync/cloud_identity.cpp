#include "sync/cloud_identity.hpp"

#include <string_view>
#include <utility>

namespace lumenfolio {

std::unordered_map<std::string, std::string> CloudIdentity::cloudIDs(
    const std::vector<std::string>& localIdentifiers, PhotoPlatform& platform) {
  std::unordered_map<std::string, std::string> cloudIDs;
  if (localIdentifiers.empty()) return cloudIDs;
  cloudIDs.reserve(localIdentifiers.size());
  auto inOrder = cloudIDsInOrder(localIdentifiers, platform);
  for (std::size_t at = 0; at < inOrder.size(); ++at) {
    if (inOrder[at]) cloudIDs.insert_or_assign(localIdentifiers[at], std::move(*inOrder[at]));
  }
  return cloudIDs;
}

std::vector<std::optional<std::string>> CloudIdentity::cloudIDsInOrder(
    const std::vector<std::string>& localIdentifiers, PhotoPlatform& platform) {
  std::vector<std::optional<std::string>> cloudIDs(localIdentifiers.size());
  std::size_t first = 0;
  // One chunk at a time: a large library's identifiers are not copied all at once.
  forEachChunk(localIdentifiers, kChunkSize, [&](const std::vector<std::string>& chunk) {
    auto mappings = platform.cloudIdentifierMappings(chunk);
    // The platform reports on identifiers, not on places in the list: an
    // answer may come in any order, and a later one replaces an earlier one.
    std::unordered_map<std::string_view, const std::string*> answers;
    answers.reserve(mappings.size());
    for (const auto& mapping : mappings) {
      // A failed mapping only leaves its own identifier out.
      if (mapping.cloudIdentifier) {
        answers.insert_or_assign(mapping.localIdentifier, &*mapping.cloudIdentifier);
      }
    }
    for (std::size_t at = 0; at < chunk.size(); ++at) {
      if (const auto answer = answers.find(chunk[at]); answer != answers.end()) {
        cloudIDs[first + at] = *answer->second;
      }
    }
    first += chunk.size();
  });
  return cloudIDs;
}

}  // namespace lumenfolio
