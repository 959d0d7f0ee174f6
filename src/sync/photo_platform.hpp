// The photo platform as the exporter uses it: authorisation, change reports,
// the image assets' local identifiers and their cloud identifiers.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumenfolio {

enum class AuthorizationStatus {
  notDetermined = 0,
  restricted = 1,
  denied = 2,
  authorized = 3,
  limited = 4,
};

// Receives a call after each change of the library, on a thread of the platform's choosing.
class ChangeObserver {
 public:
  virtual ~ChangeObserver() = default;
  virtual void photoLibraryDidChange() = 0;
};

// One answer of a cloud identifier request: the cloud identifier text, or
// nothing when the platform could not map the local identifier.
struct CloudIdentifierMapping {
  std::string localIdentifier;
  std::optional<std::string> cloudIdentifier;
};

class PhotoPlatform {
 public:
  virtual ~PhotoPlatform() = default;

  // At the read-write access level.
  virtual AuthorizationStatus authorizationStatus() = 0;
  // The answer comes later, on any thread.
  virtual void requestAuthorization(std::function<void(AuthorizationStatus)> answer) = 0;
  // The observer is never unregistered.
  virtual void registerChangeObserver(std::shared_ptr<ChangeObserver> observer) = 0;

  // The local identifiers of every image asset, in the platform's order. A
  // local identifier's first 36 characters are the asset's UUID text.
  virtual std::vector<std::string> fetchImageAssetIdentifiers() = 0;

  // At most 2500 local identifiers per request.
  virtual std::vector<CloudIdentifierMapping> cloudIdentifierMappings(
      const std::vector<std::string>& localIdentifiers) = 0;
};

}  // namespace lumenfolio
