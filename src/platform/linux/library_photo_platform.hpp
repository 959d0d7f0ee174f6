// The photo platform over the Photos library package itself: image assets and
// their cloud identifiers read from "database/Photos.sqlite", change reports
// from inotify. Linux has no per-application photo permission, so access is
// always granted.
//
// The library is located like the store locates it, and its database opened
// read-only, afresh for each fetch, which also reads every cloud GUID for the
// mappings that follow and then closes the database. Fetches and mappings run
// on the main thread only; the change reports come on the watcher's thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "metadata/library_database.hpp"
#include "platform/linux/inotify_change_observer.hpp"
#include "sync/photo_platform.hpp"

namespace lumenfolio {

class LibraryPhotoPlatform final : public PhotoPlatform {
 public:
  static constexpr std::size_t kMaximumMappingRequest = 2500;
  static constexpr std::string_view kLocalIdentifierSuffix = "/L0/001";

  // Looks for the library in `picturesFolder`, or reads `libraryPackage` when one is given.
  explicit LibraryPhotoPlatform(std::filesystem::path picturesFolder,
                                std::optional<std::filesystem::path> libraryPackage = std::nullopt);
  ~LibraryPhotoPlatform() override;

  AuthorizationStatus authorizationStatus() override;
  void requestAuthorization(std::function<void(AuthorizationStatus)> answer) override;
  // Starts watching the library on the first registration, following it
  // when it appears later or is replaced.
  void registerChangeObserver(std::shared_ptr<ChangeObserver> observer) override;

  // Every visible, untrashed image, in the library's own order; nothing when
  // there is no readable library.
  std::vector<std::string> fetchImageAssetIdentifiers() override;
  // Answers every identifier given, in order. The cloud GUIDs are read once
  // per fetch, not once per request. Identifiers past the 2500th of one
  // request are answered with failure, as the platform takes no more.
  std::vector<CloudIdentifierMapping> cloudIdentifierMappings(
      const std::vector<std::string>& localIdentifiers) override;

  // The package this platform reads (or would read), if there is one.
  std::optional<std::filesystem::path> libraryPackage() const;

 private:
  std::optional<LibraryDatabase> openLibrary() const;
  static std::unordered_map<std::string, std::string> readCloudGUIDs(const SqliteDatabase& db);

  std::filesystem::path picturesFolder_;
  std::optional<std::filesystem::path> libraryPackage_;
  std::optional<std::unordered_map<std::string, std::string>> cloudGUIDs_;
  std::unique_ptr<InotifyChangeObserver> watcher_;
};

}  // namespace lumenfolio
