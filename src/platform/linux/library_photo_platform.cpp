#include "platform/linux/library_photo_platform.hpp"

#include <utility>

#include "metadata/library_database.hpp"
#include "metadata/library_schema.hpp"
#include "metadata/library_view.hpp"
#include "metadata/metadata_store.hpp"
#include "metadata/unicode_text.hpp"
#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio {

namespace {

constexpr std::size_t kUUIDLength = 36;

// The library as it is now, when no run has handed over its own listing.
std::shared_ptr<const ImageAssetListing> readListing(
    const std::optional<std::filesystem::path>& package) {
  if (!package) return std::make_shared<const ImageAssetListing>();
  const auto database = LibraryDatabase::open(*package / LibraryView::kPhotosPath);
  if (!database) return std::make_shared<const ImageAssetListing>();
  // An older library's assets are read under the current table name.
  LibrarySchema::adapt(database->connection());
  return std::make_shared<const ImageAssetListing>(ImageAssetListing::read(database->connection()));
}

}  // namespace

LibraryPhotoPlatform::LibraryPhotoPlatform(std::filesystem::path picturesFolder,
                                           std::optional<std::filesystem::path> libraryPackage)
    : picturesFolder_(std::move(picturesFolder)), libraryPackage_(std::move(libraryPackage)) {}

LibraryPhotoPlatform::~LibraryPhotoPlatform() = default;

AuthorizationStatus LibraryPhotoPlatform::authorizationStatus() {
  return AuthorizationStatus::authorized;
}

void LibraryPhotoPlatform::requestAuthorization(std::function<void(AuthorizationStatus)> answer) {
  answer(AuthorizationStatus::authorized);
}

void LibraryPhotoPlatform::registerChangeObserver(std::shared_ptr<ChangeObserver> observer) {
  if (!watcher_) {
    // Watched from the folder that holds it, so a library that appears later,
    // or replaces this one at the same path, is followed.
    if (libraryPackage_) {
      watcher_ = std::make_unique<InotifyChangeObserver>(*libraryPackage_);
    } else {
      watcher_ = std::make_unique<InotifyChangeObserver>(
          picturesFolder_,
          [pictures = picturesFolder_] { return MetadataStore::libraryURL(pictures); });
    }
  }
  watcher_->add(std::move(observer));
}

std::vector<std::string> LibraryPhotoPlatform::fetchImageAssetIdentifiers() {
  const auto listing = currentListing();
  const std::lock_guard lock(mutex_);
  fetched_ = listing;
  return listing->localIdentifiers;
}

std::vector<CloudIdentifierMapping> LibraryPhotoPlatform::cloudIdentifierMappings(
    const std::vector<std::string>& localIdentifiers) {
  auto listing = fetchedListing();
  if (!listing) {
    listing = currentListing();
    const std::lock_guard lock(mutex_);
    fetched_ = listing;
  }
  const auto& cloudGUIDs = listing->cloudGUIDs;
  std::vector<CloudIdentifierMapping> answers;
  answers.reserve(localIdentifiers.size());
  for (const std::string& local : localIdentifiers) {
    CloudIdentifierMapping answer{local, std::nullopt};
    if (answers.size() < kMaximumMappingRequest) {
      // The UUID is the first 36 characters as a person reads them, as the
      // export run keys the library's rows.
      const auto found =
          cloudGUIDs.find(AssetUuid(UnicodeText::firstCharacters(local, kUUIDLength)));
      if (found != cloudGUIDs.end()) answer.cloudIdentifier = found->second;
    }
    answers.push_back(std::move(answer));
  }
  return answers;
}

std::optional<std::filesystem::path> LibraryPhotoPlatform::libraryPackage() const {
  if (libraryPackage_) return libraryPackage_;
  return MetadataStore::libraryURL(picturesFolder_);
}

LibraryPhotoPlatform::ListingSink LibraryPhotoPlatform::listingSink() {
  return [this](std::shared_ptr<const ImageAssetListing> listing) {
    const std::lock_guard lock(mutex_);
    // The run's cloud GUIDs weigh tens of megabytes in a large library: once
    // it is over, nothing holds them until the next fetch.
    if (!listing) fetched_.reset();
    runListing_ = std::move(listing);
  };
}

std::shared_ptr<const ImageAssetListing> LibraryPhotoPlatform::fetchedListing() const {
  const std::lock_guard lock(mutex_);
  return fetched_;
}

// Outside a run each fetch reads afresh, so it sees the library as it is now,
// even one whose database was replaced by a newer copy.
std::shared_ptr<const ImageAssetListing> LibraryPhotoPlatform::currentListing() const {
  {
    const std::lock_guard lock(mutex_);
    if (runListing_) return runListing_;
  }
  return readListing(libraryPackage());
}

}  // namespace lumenfolio
