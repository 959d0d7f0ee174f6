// Desktop services that answer as the test sets and record what was asked.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.hpp"
#include "exporter/desktop_services.hpp"

namespace lumenfolio::testing {

class FakeDesktopServices : public DesktopServices {
 public:
  // The login-item service's own states; only `enabled` reads as on.
  enum class LoginItemStatus { notRegistered, enabled, requiresApproval, notFound };

  struct FolderRequest {
    std::string prompt;
    std::string message;
  };

  std::optional<std::filesystem::path> chooseFolder(const std::string& prompt,
                                                    const std::string& message) override {
    folderRequests.push_back({prompt, message});
    return chosenFolder;
  }

  bool loginItemEnabled() override { return loginItem == LoginItemStatus::enabled; }
  void registerLoginItem() override {
    ++registrations;
    if (loginItemFailure) throw *loginItemFailure;
    loginItem =
        registrationNeedsApproval ? LoginItemStatus::requiresApproval : LoginItemStatus::enabled;
  }
  void unregisterLoginItem() override {
    ++unregistrations;
    if (loginItemFailure) throw *loginItemFailure;
    loginItem = LoginItemStatus::notRegistered;
  }

  void openFullDiskAccessSettings() override { ++settingsOpenings; }

  std::optional<std::string> hostName() override { return host; }

  std::filesystem::path homeDirectory() override { return home; }

  // The set dictionary (or failure), as long as the file itself exists.
  std::optional<std::map<std::string, PreferenceValue>> readPropertyList(
      const std::filesystem::path& file) override {
    propertyListReads.push_back(file);
    if (!std::filesystem::exists(file)) return std::nullopt;
    if (propertyListFailure) throw *propertyListFailure;
    return propertyList;
  }

  std::optional<std::filesystem::path> chosenFolder;
  std::vector<FolderRequest> folderRequests;

  LoginItemStatus loginItem = LoginItemStatus::notRegistered;
  bool registrationNeedsApproval = false;
  // Thrown by both login-item writes, leaving the item as it is.
  std::optional<Failure> loginItemFailure;
  int registrations = 0;
  int unregistrations = 0;

  int settingsOpenings = 0;
  std::optional<std::string> host = "Studio";
  std::filesystem::path home;

  std::optional<std::map<std::string, PreferenceValue>> propertyList;
  std::optional<Failure> propertyListFailure;
  std::vector<std::filesystem::path> propertyListReads;
};

}  // namespace lumenfolio::testing
