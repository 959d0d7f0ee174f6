// One export run: reads the library on the store's worker, matches its rows to
// the photos with a cloud identifier, and writes the shared file on the write
// worker unless nothing changed since the last export.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exporter/export_census.hpp"
#include "exporter/exporter.hpp"
#include "exporter/row_matching.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {

// It owns the folder access from the moment the folder resolved and holds the
// exporter until the run has closed.
class Exporter::Run : public std::enable_shared_from_this<Run> {
 public:
  Run(std::shared_ptr<Exporter> exporter, FolderAccess folder, std::function<void()> done)
      : exporter_(std::move(exporter)), folder_(std::move(folder)), done_(std::move(done)) {}

  void begin();

 private:
  void checkFingerprint();
  std::optional<std::string> fingerprint() const;
  void keepFingerprint();
  void readLibrary();
  bool hasLibraryData() const;
  void mapPhotos(LibraryStore& store);
  void readPanels();
  void checkLibraryData();
  void readNeedsFullDiskAccess();
  void readFailure();
  void reportMissingData();
  void failReading();
  void match();
  void matchOnStore(LibraryStore& store);
  void checkWhatHoldsLess(LibraryStore& store);
  void writeUnlessLibraryChanged();
  void letGoOfTables();
  void letGoOfRows();
  void writeUnlessUnchanged();
  bool writtenFileIsInPlace() const;
  void write();
  struct WriteError {
    std::string text;   // for the user
    std::string cause;  // for the log, when the text leaves it out
  };
  std::optional<WriteError> writeSharedFile() const;
  void written();
  // Records an export of `count` photos and closes; a record that cannot be
  // kept fails the run.
  void finish(std::int64_t count);
  // Settings that could not be stored end the run as a failed write.
  void failToKeepSettings(const PreferencesError& error);
  void close();

  Dependencies& deps() const { return exporter_->deps_; }
  void onStore(std::function<void(Run&, LibraryStore&)> visit, void (Run::*next)());

  const std::shared_ptr<Exporter> exporter_;
  FolderAccess folder_;
  std::function<void()> done_;

  // Filled on the store's worker; read on the main thread once the visit is
  // over, and let go of on the worker again once the rows have taken them.
  RowMatching::Tables tables_;
  // The photos the rows are matched for, and each one's cloud identifier,
  // which moves into its row; let go of with the tables.
  std::vector<std::string> localIdentifiers_;
  std::vector<std::optional<std::string>> cloudIDs_;
  // The library's files as they were before anything was read, and after.
  std::optional<std::string> libraryFingerprint_;
  std::optional<std::string> libraryFingerprintAfter_;
  bool needsFullDiskAccess_ = false;
  std::optional<std::string> failure_;
  std::optional<std::string> readError_;  // why a visit failed, with SQLite's message
  bool stopped_ = false;                  // a visit was interrupted on request
  bool libraryUnchanged_ = true;
  bool libraryReleased_ = false;  // once the photos are mapped

  int attempt_ = 1;  // of reading the library, counting the start-overs

  SyncFile::Payload payload_;
  std::filesystem::path file_;
  std::string digest_;
  // What the rows hold, and what the last export's held (as stored).
  std::optional<ExportCensus> census_;
  std::optional<ExportCensus> lastCensus_;
  // Filled on the write worker.
  std::optional<WriteError> writeError_;
};

}  // namespace lumenfolio
