#include "exporter/export_run.hpp"

#include <exception>
#include <utility>

#include "base/failure.hpp"
#include "base/file_stamp.hpp"
#include "base/freed_memory.hpp"
#include "exporter/row_matching.hpp"
#include "sqlite/sqlite_error.hpp"
#include "sync/cloud_identity.hpp"

namespace lumenfolio {

namespace {

constexpr std::string_view kChooseFolderText =
    "Choose the shared folder — the same one the lumenfolio apps use.";
constexpr std::string_view kReadingDatabasesText = "Reading the library databases…";
constexpr std::string_view kReadingDetailsText = "Reading places, people and camera details…";
constexpr std::string_view kNoMeasuresText = "The library database has no computed measures yet.";
constexpr std::string_view kMatchingText = "Matching photos…";
constexpr std::string_view kIncompleteReadText =
    "The library database couldn't be read completely.";
constexpr std::string_view kLibraryKeptChangingText =
    "The library kept changing while it was read; the next export tries again.";

// A run whose library changed under it starts over this many times in all
// before it gives up, rather than write rows of several versions.
constexpr int kReadAttempts = 3;

std::string unavailableText(const std::filesystem::path& folder) {
  return "The shared folder “" + SyncFolder::displayName(folder) + "” isn't available right now.";
}

std::string writingText(std::size_t count) {
  return "Writing " + std::to_string(count) + " photos…";
}

// The cause of a failure to write `file`, naming the file unless it already does.
std::string withPath(const std::string& cause, const std::string& text,
                     const std::filesystem::path& file) {
  const auto path = file.string();
  if (cause.empty() || cause == text) return path;
  if (cause.find(file.parent_path().string()) != std::string::npos) return cause;
  return cause + ": " + path;
}

std::optional<std::string> storedText(const Preferences& preferences, std::string_view key) {
  const auto stored = preferences.value(std::string(key));
  const auto* text = stored ? std::get_if<std::string>(&*stored) : nullptr;
  if (text == nullptr) return std::nullopt;
  return *text;
}

std::string deviceName(DesktopServices& desktop) {
  const auto host = desktop.hostName();
  return (host && !host->empty() ? *host : std::string("Mac")) + " (exporter)";
}

}  // namespace

void Exporter::runExport(std::function<void()> done) {
  if (isWorking_) {
    queue(std::move(done));
    return;
  }
  auto folder = SyncFolder::resolve(deps_.preferences);
  if (!folder) {
    // A folder that is away keeps its place: nothing is written elsewhere and
    // nothing is forgotten, and the export runs once it is back.
    if (const auto remembered = SyncFolder::remembered(deps_.preferences)) {
      fail(ExportFailure::folderUnavailable, unavailableText(*remembered),
           "not a directory: " + remembered->string());
      waitForFolder();
    } else {
      fail(ExportFailure::noFolder, std::string(kChooseFolderText));
    }
    queue(std::move(done));
    return;
  }
  if (folderWait_) {
    deps_.mainQueue.cancel(*folderWait_);
    folderWait_.reset();
  }
  std::make_shared<Run>(shared_from_this(), std::move(*folder), std::move(done))->begin();
}

// Only the `done` half holds the run: it is queued after the job has finished,
// so the job may use the run freely, and the run (with the exporter it holds)
// is always let go on the main thread, never on a worker.
//
// A read that ends in an error (SQLite's, or any other) ends the run instead
// of the next step: nothing escapes the worker's thread, and rows read so far
// are never taken for all of them. A read interrupted on request (the process
// is being stopped) ends it too, but as stopped: no failure, no export.
void Exporter::Run::onStore(std::function<void(Run&, LibraryStore&)> visit, void (Run::*next)()) {
  deps().storeWorker.run(
      [run = this, visit] {
        try {
          visit(*run, run->deps().store);
        } catch (const SqliteError& error) {
          if (error.resultCode() == SQLITE_INTERRUPT) {
            run->stopped_ = true;
          } else {
            run->readError_ = error.what();
          }
        } catch (...) {
          run->readError_ = Failure::causeOf(std::current_exception());
        }
      },
      [self = shared_from_this(), next] {
        if (self->stopped_) {
          self->close();
        } else if (self->readError_) {
          self->failReading();
        } else {
          ((*self).*next)();
        }
      });
}

void Exporter::Run::begin() {
  exporter_->setWorking(true);
  onStore([](Run& run, LibraryStore& store) { run.libraryFingerprint_ = store.fingerprint(); },
          &Run::checkFingerprint);
}

// When nothing an export reads or writes changed since the last successful
// one, the run ends as an unchanged export ends, without opening the library.
// Anything else, or anything it cannot tell, reads the library as always.
void Exporter::Run::checkFingerprint() {
  const auto now = fingerprint();
  if (now && storedText(deps().preferences, kFingerprintKey) == now) {
    finish(exporter_->lastCount());
    return;
  }
  try {
    // Until this run ends well, no fingerprint stands for the files.
    deps().preferences.remove(std::string(kFingerprintKey));
  } catch (const PreferencesError& error) {
    failToKeepSettings(error);
    return;
  }
  readLibrary();
}

// The library's files as they were before this run read them, the folder,
// the device identifier, this program's version and the shared file as it is
// now (after this run's write, or as the last run left it). Nothing when the
// library or the device identifier cannot be told.
std::optional<std::string> Exporter::Run::fingerprint() const {
  const auto deviceID = storedText(deps().preferences, SyncFolder::kDeviceIDKey);
  if (!libraryFingerprint_ || !deviceID) return std::nullopt;
  const auto file = folder_.url / SyncFolder::sharedFileName(*deviceID);
  return *libraryFingerprint_ + "\nfolder " + folder_.url.string() + "\ndevice " + *deviceID +
         "\nversion " + LUMENFOLIO_VERSION + "\nshared file " + FileStamp::of(file);
}

// Kept as the files are after this run's own reads, which may have changed
// their change times; when anything else changed while they were read, the
// next run must read them again, so no fingerprint is kept.
void Exporter::Run::keepFingerprint() {
  if (libraryFingerprintAfter_) {
    if (!libraryFingerprint_ ||
        !FileStamp::sameButForChangeTimes(*libraryFingerprint_, *libraryFingerprintAfter_)) {
      return;
    }
    libraryFingerprint_ = libraryFingerprintAfter_;
  }
  if (const auto now = fingerprint()) {
    deps().preferences.setValue(std::string(kFingerprintKey), *now);
  }
}

void Exporter::Run::readLibrary() {
  exporter_->setStatus(std::string(kReadingDatabasesText));
  onStore(
      [](Run& run, LibraryStore& store) {
        run.tables_.features = store.features();
        run.tables_.measures = store.measures();
        if (run.hasLibraryData()) run.mapPhotos(store);
        run.tables_.terms = store.searchTerms();
      },
      &Run::readPanels);
}

bool Exporter::Run::hasLibraryData() const {
  return !tables_.features.empty() || !tables_.measures.empty();
}

// Before the largest tables, the terms and the panels, are read: the photos'
// identifiers then no longer share the memory with the listing they come
// from. A run without library data fetches no photos.
void Exporter::Run::mapPhotos(LibraryStore& store) {
  PhaseTimer timer(deps().phases);
  localIdentifiers_ = deps().photos.fetchImageAssetIdentifiers();
  timer.ended("fetch");
  cloudIDs_ = CloudIdentity::cloudIDsInOrder(localIdentifiers_, deps().photos);
  store.photosMapped();
  timer.ended("cloud identifiers");
}

void Exporter::Run::readPanels() {
  exporter_->setStatus(std::string(kReadingDetailsText));
  onStore([](Run& run, LibraryStore& store) { run.tables_.panels = store.panels(); },
          &Run::checkLibraryData);
}

void Exporter::Run::checkLibraryData() {
  if (!hasLibraryData()) {
    readNeedsFullDiskAccess();
    return;
  }
  exporter_->setNeedsFullDiskAccess(false);
  exporter_->setStatus(std::string(kMatchingText));
  match();
}

void Exporter::Run::readNeedsFullDiskAccess() {
  onStore(
      [](Run& run, LibraryStore& store) {
        run.needsFullDiskAccess_ = store.currentNeedsFullDiskAccess();
      },
      &Run::readFailure);
}

void Exporter::Run::readFailure() {
  exporter_->setNeedsFullDiskAccess(needsFullDiskAccess_);
  onStore([](Run& run, LibraryStore& store) { run.failure_ = store.currentFailure(); },
          &Run::reportMissingData);
}

void Exporter::Run::reportMissingData() {
  const bool hasFailure = failure_ && !failure_->empty();
  if (!hasFailure) {
    exporter_->fail(ExportFailure::noLibraryData, std::string(kNoMeasuresText));
  } else {
    // The store asks for access exactly when it found the databases and
    // could open none of them; any other text of its own says it found none.
    exporter_->fail(
        needsFullDiskAccess_ ? ExportFailure::libraryUnreadable : ExportFailure::noLibrary,
        *failure_);
  }
  close();
}

void Exporter::Run::failReading() {
  exporter_->setNeedsFullDiskAccess(false);
  exporter_->fail(ExportFailure::libraryUnreadable, std::string(kIncompleteReadText), *readError_);
  close();
}

// The photos are matched and digested on the store's worker; the main thread
// only learns the result.
void Exporter::Run::match() {
  payload_.writtenAt = deps().clock.now();
  payload_.deviceName = deviceName(deps().desktop);
  const auto lastCensus = storedText(deps().preferences, kCensusKey);
  lastCensus_ = lastCensus ? ExportCensus::parse(*lastCensus) : std::nullopt;
  onStore([](Run& run, LibraryStore& store) { run.matchOnStore(store); },
          &Run::writeUnlessLibraryChanged);
}

// The library's connections stay open until the rows are built, in case
// those rows hold less than the last export's and the library is checked.
void Exporter::Run::matchOnStore(LibraryStore& store) {
  PhaseTimer timer(deps().phases);
  libraryUnchanged_ = store.libraryUnchanged();
  if (!libraryUnchanged_) return;
  libraryFingerprintAfter_ = store.fingerprint();
  // The rows are new memory: the pages the search index's workings held go
  // back first, so that they do not add up.
  FreedMemory::giveBack();
  payload_.features = RowMatching::rows(localIdentifiers_, cloudIDs_, tables_);
  // So do the matching's lookups, before the digest and the write add theirs.
  FreedMemory::giveBack();
  census_ = ExportCensus::of(payload_.features);
  timer.ended("match");
  checkWhatHoldsLess(store);
  store.release();
  libraryReleased_ = true;
  digest_ = Exporter::digest(payload_.features);
  timer.ended("digest");
}

// SQLite reads some damage on without an error: a page that points at the
// wrong child leaves rows out, a flipped byte in a UUID parts a photo from
// its terms. Rows that hold less than the last export's are written over its
// file only once the tables they come from pass SQLite's integrity check; a
// check that fails ends the run as a read that ended in an error.
void Exporter::Run::checkWhatHoldsLess(LibraryStore& store) {
  if (lastCensus_ && census_->holdsLessThan(*lastCensus_)) store.checkIntegrity();
}

// The rows of a library that changed under the run may mix two versions of
// it (assets of one, features of the other): they are never written.
void Exporter::Run::writeUnlessLibraryChanged() {
  if (libraryUnchanged_) {
    letGoOfTables();
    writeUnlessUnchanged();
  } else if (attempt_ < kReadAttempts) {
    ++attempt_;
    payload_ = {};
    tables_ = {};
    localIdentifiers_ = {};
    cloudIDs_ = {};
    deps().storeWorker.run([run = this] { run->deps().store.release(); },
                           [self = shared_from_this()] { self->readLibrary(); });
  } else {
    exporter_->fail(
        ExportFailure::libraryUnreadable, std::string(kLibraryKeptChangingText),
        "the library's files changed during each of " + std::to_string(kReadAttempts) + " reads");
    close();
  }
}

// Letting go of the tables' entries (what no photo took, and those whose
// values moved into the rows) and of the photos' identifiers takes a good
// part of a second in a large library: the store's worker, idle by now, does
// it while the file is written.
void Exporter::Run::letGoOfTables() {
  deps().storeWorker.run(
      [run = this] {
        run->tables_ = {};
        run->localIdentifiers_ = {};
        run->cloudIDs_ = {};
        // A program that stays in the tray keeps none of it until the next run.
        FreedMemory::giveBack();
      },
      [self = shared_from_this()] {});
}

// The rows of a large library take a while to free, which the main thread
// leaves to the write worker, idle once the file is written; the memory they
// held goes back to the system before the next run.
void Exporter::Run::letGoOfRows() {
  if (payload_.features.empty()) return;
  deps().writeWorker.run(
      [rows = std::move(payload_.features)]() mutable {
        rows = {};
        FreedMemory::giveBack();
      },
      [] {});
}

void Exporter::Run::writeUnlessUnchanged() {
  std::string deviceID;
  try {
    deviceID = SyncFolder::deviceID(deps().preferences);
  } catch (const PreferencesError& error) {
    // A file under an identifier the next run will not know would be one more
    // "device" in the folder at every run.
    failToKeepSettings(error);
    return;
  }
  const auto name = SyncFolder::sharedFileName(deviceID);
  // The device identifier comes from the preferences and may hold anything; a
  // name that would leave the folder is never written.
  if (!SyncFolder::isSafeFileName(name)) {
    exporter_->fail(ExportFailure::writeFailed,
                    std::string(SyncError::description(SyncError::Code::cannotWrite)),
                    "the device identifier makes no safe file name: " + name);
    close();
    return;
  }
  file_ = folder_.url / name;
  if (storedText(deps().preferences, kDigestKey) == digest_ && writtenFileIsInPlace()) {
    finish(static_cast<std::int64_t>(payload_.features.size()));
    return;
  }
  write();
}

bool Exporter::Run::writtenFileIsInPlace() const {
  const auto stored = deps().preferences.value(std::string(kSharedFileKey));
  const auto* text = stored ? std::get_if<std::string>(&*stored) : nullptr;
  const auto written = text ? SharedFileIdentity::parse(*text) : std::nullopt;
  // The digest says which rows were written, the identity into which file:
  // a file chosen again in an older folder, truncated, rewritten by a sync
  // client or replaced by a link is written anew.
  return written && written->file == file_ && SyncFolder::holdsWrittenFile(*written);
}

void Exporter::Run::write() {
  exporter_->setStatus(writingText(payload_.features.size()));
  deps().writeWorker.run(
      [run = this] {
        PhaseTimer timer(run->deps().phases);
        run->writeError_ = run->writeSharedFile();
        timer.ended("write");
      },
      [self = shared_from_this()] { self->written(); });
}

std::optional<Exporter::Run::WriteError> Exporter::Run::writeSharedFile() const {
  try {
    deps().writeSharedFile(payload_, file_, [this](const SharedFileIdentity& identity) {
      // Stored before the writer lets another process in, so the digest and
      // the file it describes always belong to the same write.
      deps().preferences.setValue(std::string(kDigestKey), digest_);
      deps().preferences.setValue(std::string(kSharedFileKey), identity.text());
    });
    return std::nullopt;
  } catch (const SyncError& error) {
    const auto& cause = error.cause();
    return WriteError{std::string(SyncError::description(error.code())),
                      cause ? cause->what() : error.what()};
  } catch (const std::exception& error) {
    return WriteError{error.what(), {}};
  } catch (...) {
    return WriteError{std::string(SyncError::description(SyncError::Code::cannotWrite)),
                      Failure::causeOf(std::current_exception())};
  }
}

void Exporter::Run::written() {
  if (writeError_) {
    exporter_->fail(ExportFailure::writeFailed, writeError_->text,
                    withPath(writeError_->cause, writeError_->text, file_));
    close();
    return;
  }
  finish(static_cast<std::int64_t>(payload_.features.size()));
}

void Exporter::Run::finish(std::int64_t count) {
  try {
    exporter_->recordExport(count);
    keepFingerprint();
    // A run that ended on the fingerprint built no rows: the census stands.
    if (census_) deps().preferences.setValue(std::string(kCensusKey), census_->text());
  } catch (const PreferencesError& error) {
    failToKeepSettings(error);
    return;
  }
  exporter_->setStatus(std::nullopt);
  close();
}

void Exporter::Run::failToKeepSettings(const PreferencesError& error) {
  exporter_->fail(ExportFailure::writeFailed, error.what());
  close();
}

void Exporter::Run::close() {
  // The library is not held open between runs; the next run reads it afresh.
  if (!libraryReleased_) {
    deps().storeWorker.run([run = this] { run->deps().store.release(); },
                           [self = shared_from_this()] {});
  }
  letGoOfRows();
  exporter_->setWorking(false);
  if (folder_.release) folder_.release();
  exporter_->queue(std::move(done_));
}

}  // namespace lumenfolio
