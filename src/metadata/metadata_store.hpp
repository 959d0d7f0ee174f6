// The reader of the local Photos library's own databases, strictly read-only.
//
// A store is confined to one thread, the store's worker: its connections are
// opened without SQLite's mutexes and never leave that thread. Callers reach it
// only through that worker (Worker::run), which runs its operations one at a
// time and posts their results back to the main thread; nothing else may call
// it, and it holds no locks of its own.
//
// The library is located once, on the first call of any operation; a library
// that appears later is seen only by a new store. Its databases stay open until
// `release()` (the end of an export run) and are opened afresh by the next read,
// so the tray and the watcher follow a library that changes for days.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "metadata/library_database.hpp"
#include "metadata/library_schema.hpp"
#include "metadata/library_store.hpp"

namespace lumenfolio {

class MetadataStore final : public LibraryStore {
 public:
  using Features = AssetFeatures;

  static constexpr std::string_view kFullDiskAccessFailure =
      "We read technique and measures straight from the Photos library databases, but this user "
      "can't open them. Check the permissions of the library's database folder.";

  // Looks for the library in `picturesFolder` on first use, or reads
  // `libraryPackage` when one is given. Paths under `home` are told the user
  // with "~" in its place.
  explicit MetadataStore(std::filesystem::path picturesFolder,
                         std::optional<std::filesystem::path> libraryPackage = std::nullopt,
                         std::filesystem::path home = {});

  // "Couldn't find a Photos library in ~/Pictures." for a folder that was
  // searched, "... at PATH." for a package that was given and is missing.
  static std::string notFoundFailure(const std::filesystem::path& searched, bool searchedIsPackage,
                                     const std::filesystem::path& home);

  std::unordered_map<std::string, Features> features() override;
  std::unordered_map<std::string, Bytes> measures() override;
  std::unordered_map<std::string, std::string> searchTerms() override;
  std::unordered_map<std::string, AssetMetadata> panels() override;
  std::optional<std::string> currentFailure() override;
  bool currentNeedsFullDiskAccess() override;
  void release() override;

  // "Photos Library.photoslibrary" in the folder, else the first entry of the
  // unsorted listing whose extension is exactly "photoslibrary".
  static std::optional<std::filesystem::path> libraryURL(
      const std::filesystem::path& picturesFolder);

  // The statements of the two features passes for a library of this schema.
  static std::string analysisStatement(const LibrarySchema& schema);
  static std::string faceStatement(const LibrarySchema& schema);

 private:
  void openIfNeeded();
  void openDatabases(const std::filesystem::path& package);
  std::optional<std::filesystem::path> locateLibrary() const;

  std::filesystem::path picturesFolder_;
  std::optional<std::filesystem::path> libraryPackage_;
  std::filesystem::path home_;
  std::optional<LibraryDatabase> search_;
  std::optional<LibraryDatabase> library_;
  LibrarySchema schema_;  // of `library_`, probed when it opens
  std::optional<LibraryDatabase> leo_;
  bool opened_ = false;
  // The package the first opening found, and whether its connections wait for the next read.
  std::optional<std::filesystem::path> package_;
  bool released_ = false;
  std::optional<std::string> failure_;
  bool needsFullDiskAccess_ = false;
};

}  // namespace lumenfolio
