// The reader of the local Photos library's own databases, strictly read-only.
//
// A store is confined to one thread, the store's worker: its connections are
// opened without SQLite's mutexes and never leave that thread. Callers reach it
// only through that worker (Worker::run), which runs its operations one at a
// time and posts their results back to the main thread; nothing else may call
// it, and it holds no locks of its own.
//
// The library is located on the first call of any operation of a run and read
// through one LibraryView until `release()` (the end of an export run): each
// database opened once and read in one transaction. The next run locates and
// opens it afresh, so the tray and the watcher follow a library that changes,
// moves or appears over days.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/log_sink.hpp"
#include "base/phase_timer.hpp"
#include "metadata/image_asset_listing.hpp"
#include "metadata/library_schema.hpp"
#include "metadata/library_store.hpp"
#include "metadata/library_view.hpp"
#include "metadata/search_index_prefetch.hpp"
#include "metadata/search_terms.hpp"
#include "model/asset_uuid.hpp"
#include "sqlite/sqlite_error.hpp"

namespace lumenfolio {

// Whether the search index is read on a thread of its own while Photos.sqlite
// is read (the way exports read), or after it, one database after the other.
enum class SearchIndexReading { alongside, inTurn };

struct MetadataStoreOptions {
  SearchIndexReading reading = SearchIndexReading::alongside;
  // Told of the store's phases: "locate and open", "features", "measures",
  // "terms" and "panels", each as long as its operation took.
  PhaseSink phases = {};
  // Told, as a warning, of a psi.sqlite passed over for leo.sqlite.
  LogSink& log = LogSink::discard();
  // Once requested (the process is ending), a read in progress and every
  // later one throws SqliteError with SQLITE_INTERRUPT.
  std::stop_token stop = {};
};

class MetadataStore final : public LibraryStore {
 public:
  using Features = AssetFeatures;
  using Reading = SearchIndexReading;
  using Options = MetadataStoreOptions;

  static constexpr std::string_view kFullDiskAccessFailure =
      "We read technique and measures straight from the Photos library databases, but this user "
      "can't open them. Check the permissions of the library's database folder.";

  // Looks for the library in `picturesFolder` on first use, or reads
  // `libraryPackage` when one is given. Paths under `home` are told the user
  // with "~" in its place.
  // Given, `listingSink` receives each run's image asset listing, read in the
  // run's transaction right after the library opens, and nothing once the run
  // has mapped its photos or is over (see photosMapped() and release()).
  using ListingSink = std::function<void(std::shared_ptr<const ImageAssetListing>)>;
  explicit MetadataStore(std::filesystem::path picturesFolder,
                         std::optional<std::filesystem::path> libraryPackage = std::nullopt,
                         std::filesystem::path home = {}, ListingSink listingSink = {},
                         Options options = {});

  // "Couldn't find a Photos library in ~/Pictures." for a folder that was
  // searched, "... at PATH." for a package that was given and is missing.
  static std::string notFoundFailure(const std::filesystem::path& searched, bool searchedIsPackage,
                                     const std::filesystem::path& home);

  // The reads throw SqliteError (naming the package's database file) when a
  // scan ends in an error: a damaged page, an I/O error, a lock held too long.
  ByAssetUuid<Features> features() override;
  ByAssetUuid<Bytes> measures() override;
  ByAssetUuid<std::string> searchTerms() override;
  ByAssetUuid<std::string> panels() override;
  void photosMapped() override;
  // Of the package this run reads, or of the one a run would read now.
  std::optional<std::string> fingerprint() override;
  std::optional<std::string> currentFailure() override;
  bool currentNeedsFullDiskAccess() override;
  void checkIntegrity() override;
  void release() override;
  bool libraryUnchanged() override;

  // "Photos Library.photoslibrary" in the folder, else the first entry of the
  // unsorted listing whose extension is exactly "photoslibrary".
  static std::optional<std::filesystem::path> libraryURL(
      const std::filesystem::path& picturesFolder);

  // The statements of the two features passes for a library of this schema.
  static std::string analysisStatement(const LibrarySchema& schema);
  static std::string faceStatement(const LibrarySchema& schema);

 private:
  // Runs a read of this run's view. An SQLite error it throws is thrown on
  // naming the package's own database file, even when a private copy was read.
  template <typename Read>
  auto told(Read read) -> decltype(read()) {
    try {
      return read();
    } catch (const SqliteError& error) {
      throw retold(error);
    }
  }
  SqliteError retold(const SqliteError& error) const;
  SearchTerms::PassedOver searchIndexPassedOver() const;
  template <typename Read>
  auto timed(std::string_view phase, Read read);
  ByAssetUuid<Features> readFeatures();
  ByAssetUuid<Bytes> readMeasures();
  void openIfNeeded();
  void openLibrary();
  ByAssetUuid<std::string> readSearchTerms();
  ByAssetUuid<std::string> readPanels();
  void prefetchSearchIndex();
  void settleSearchIndex();
  std::optional<std::filesystem::path> locateLibrary() const;

  std::filesystem::path picturesFolder_;
  std::optional<std::filesystem::path> libraryPackage_;
  std::filesystem::path home_;
  ListingSink listingSink_;
  Options options_;
  bool opened_ = false;  // the run's package was looked for, whatever the outcome
  std::optional<LibraryView> view_;
  // The search terms read on a thread of its own while Photos.sqlite is read
  // here, from the opening of the library until searchTerms() has taken
  // them; declared after the view whose connections it reads, so it ends
  // before they close.
  std::optional<SearchIndexPrefetch> searchIndex_;
  // Whether that thread leaves leo.sqlite to this worker (it reads psi.sqlite).
  bool leoOnWorker_ = false;
  // The panel texts this worker read while the thread read the terms.
  std::optional<ByAssetUuid<std::string>> panelsRead_;
  // How many assets the run's listing met: the tables read afterwards are
  // sized for them once, instead of growing step by step (none without a listing).
  std::size_t expectedAssets_ = 0;
  std::optional<std::string> failure_;
  bool needsFullDiskAccess_ = false;
};

}  // namespace lumenfolio
