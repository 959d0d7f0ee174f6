// A photo platform whose assets, cloud identifiers and authorisation the test sets.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "sync/photo_platform.hpp"

namespace lumenfolio::testing {

class FakePhotoPlatform : public PhotoPlatform {
 public:
  AuthorizationStatus authorizationStatus() override { return status; }
  void requestAuthorization(std::function<void(AuthorizationStatus)> answer) override {
    ++authorizationRequests;
    status = statusAfterRequest;
    answer(status);
  }
  void registerChangeObserver(std::shared_ptr<ChangeObserver> observer) override {
    observers.push_back(std::move(observer));
  }
  std::vector<std::string> fetchImageAssetIdentifiers() override {
    ++fetches;
    return assets;
  }
  std::vector<CloudIdentifierMapping> cloudIdentifierMappings(
      const std::vector<std::string>& localIdentifiers) override {
    requestSizes.push_back(localIdentifiers.size());
    std::vector<CloudIdentifierMapping> answer;
    for (const auto& local : localIdentifiers) {
      const auto found = cloudIDs.find(local);
      if (found == cloudIDs.end()) {
        answer.push_back({local, std::nullopt});
      } else {
        answer.push_back({local, found->second});
      }
    }
    if (answersReversed) std::reverse(answer.begin(), answer.end());
    return answer;
  }

  // Reports a change to every registered observer, as the platform would.
  void reportChange() {
    for (const auto& observer : observers) observer->photoLibraryDidChange();
  }

  AuthorizationStatus status = AuthorizationStatus::authorized;
  AuthorizationStatus statusAfterRequest = AuthorizationStatus::authorized;
  std::vector<std::string> assets;
  std::map<std::string, std::string> cloudIDs;
  std::vector<std::shared_ptr<ChangeObserver>> observers;
  std::vector<std::size_t> requestSizes;
  // Answers each request last identifier first, as nothing promises their order.
  bool answersReversed = false;
  int fetches = 0;
  int authorizationRequests = 0;
};

}  // namespace lumenfolio::testing
