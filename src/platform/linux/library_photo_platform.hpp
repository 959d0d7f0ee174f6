// The photo platform over the Photos library package itself: image assets and
// their cloud identifiers read from "database/Photos.sqlite", change reports
// from inotify. Linux has no per-application photo permission, so access is
// always granted.
//
// During an export run the listing comes from the store, which reads it from
// the run's own Photos.sqlite connection and transaction (see listingSink()):
// assets, cloud identifiers and features then come from one version of one
// package. Outside a run the library is located like the store locates it and
// read afresh for each fetch, which also reads every cloud GUID for the
// mappings that follow. Fetches and mappings run on one thread at a time; the
// change reports come on the watcher's thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/image_asset_listing.hpp"
#include "platform/linux/inotify_change_observer.hpp"
#include "sync/photo_platform.hpp"

namespace lumenfolio {

class LibraryPhotoPlatform final : public PhotoPlatform {
 public:
  static constexpr std::size_t kMaximumMappingRequest = 2500;
  static constexpr std::string_view kLocalIdentifierSuffix =
      ImageAssetListing::kLocalIdentifierSuffix;

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

  // Where the store hands over the listing of the run it has begun (from its
  // worker), and takes it back (nothing) once the run has mapped its photos
  // or has ended, which also lets go of the last fetch. Keep the platform
  // alive as long as the store that calls it.
  using ListingSink = std::function<void(std::shared_ptr<const ImageAssetListing>)>;
  ListingSink listingSink();

 private:
  std::shared_ptr<const ImageAssetListing> currentListing() const;
  std::shared_ptr<const ImageAssetListing> fetchedListing() const;

  std::filesystem::path picturesFolder_;
  std::optional<std::filesystem::path> libraryPackage_;
  mutable std::mutex mutex_;
  std::shared_ptr<const ImageAssetListing> runListing_;  // guarded by mutex_
  // Of the last fetch, until the run that handed it over ends; guarded by mutex_.
  std::shared_ptr<const ImageAssetListing> fetched_;
  std::unique_ptr<InotifyChangeObserver> watcher_;
};

}  // namespace lumenfolio
