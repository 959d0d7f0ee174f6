#include "metadata/library_view.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/unique_fd.hpp"

namespace lumenfolio {
namespace fs = std::filesystem;
namespace {

// Reading the schema starts the read transaction that BEGIN only announced;
// from here on every statement of the connection sees this version.
constexpr const char* kBeginReading = "BEGIN; SELECT 1 FROM sqlite_master LIMIT 1";

using FileKey = LibraryDatabase::FileKey;

// The files this process holds open, or nothing when the system won't tell.
std::optional<std::vector<FileKey>> openFiles() {
  std::error_code error;
  fs::directory_iterator entry("/proc/self/fd", error);
  std::vector<FileKey> files;
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    struct stat status {};
    if (::stat(entry->path().c_str(), &status) == 0)
      files.push_back({status.st_dev, status.st_ino});
  }
  if (error) return std::nullopt;
  return files;
}

}  // namespace

const std::array<LibraryView::Database, LibraryView::kDatabaseCount> LibraryView::kDatabases = {{
    {kSearchPath, &LibraryView::search_},
    {kPhotosPath, &LibraryView::photos_},
    {kLeoPath, &LibraryView::leo_},
}};

LibraryView LibraryView::open(fs::path package, std::stop_token stop) {
  LibraryView view;
  view.package_ = std::move(package);
  const auto beginReading = [](SqliteDatabase& db) { return db.exec(kBeginReading) == SQLITE_OK; };
  view.search_ = view.openDatabase(view.package_ / kSearchPath, beginReading);
  view.photos_ = view.openDatabase(view.package_ / kPhotosPath, [&](SqliteDatabase& db) {
    // Probed before the transaction begins: an older library gets its TEMP
    // view here, which is no read of the library's own tables.
    view.schema_ = LibrarySchema::adapt(db);
    return beginReading(db);
  });
  view.leo_ = view.openDatabase(view.package_ / kLeoPath, beginReading);
  // Only now: an opening cut short would read as a database that can't be opened.
  for (auto* database : {&view.photos_, &view.search_, &view.leo_}) {
    if (*database) (*database)->connection().interruptWhen(stop);
  }
  view.identity_ = identityOf(view.package_);
  view.readsOneVersion_ = !view.failedWhileChanging_ && view.readsWhatStandsThere();
  return view;
}

// Each file a connection reads must be the one standing at its path once all
// are open: one this process holds open, or the very one a snapshot copied.
// Databases opened from one copy of the package and from the next (replaced
// in between, even back and forth) fail this, and so does a database read in
// place with the "-shm" of another copy, or read without a "-wal" that changed
// while it was opened or has been replaced since.
bool LibraryView::readsWhatStandsThere() const {
  const auto open = openFiles();
  if (!open) return true;  // no way to tell; the identity check at the end remains
  const auto isOpen = [&](const FileState& state) {
    return std::find(open->begin(), open->end(), state.key) != open->end();
  };
  const auto isRead = [&](const LibraryDatabase& database, const FileState& state) {
    if (database.reading() == LibraryDatabase::Reading::snapshot) return database.copied(state.key);
    return isOpen(state);
  };
  for (std::size_t at = 0; at < kDatabases.size(); ++at) {
    const auto& database = this->*kDatabases[at].connection;
    const auto& main = identity_.files[2 * at];
    const auto& wal = identity_.files[2 * at + 1];
    if (!database) continue;
    if (!main.exists || !isRead(*database, main)) return false;
    switch (database->reading()) {
      case LibraryDatabase::Reading::withoutWal:
        // No file held open tells which "-wal" was left out: only the files
        // as they stood while the database was opened can.
        if (!database->stoodStill() || !database->walLeftOut().isSameFile(wal)) return false;
        break;
      case LibraryDatabase::Reading::inPlace: {
        const auto& shm = identity_.shm[at];
        if (shm.exists && !isOpen(shm)) return false;
        [[fallthrough]];
      }
      case LibraryDatabase::Reading::snapshot:
        if (wal.exists && !isRead(*database, wal)) return false;
        break;
    }
  }
  return true;
}

// A database that fails to open while its files change may be one that opens
// a moment later: read as absent, it would leave its rows out of a run that
// otherwise reads one version.
std::optional<LibraryDatabase> LibraryView::openDatabase(const fs::path& file,
                                                         const BeginReading& begin) {
  const auto before = LibraryDatabase::Standing::of(file);
  auto database = LibraryDatabase::open(file);
  if (database && !begin(database->connection())) database.reset();
  if (!database && LibraryDatabase::Standing::of(file) != before) failedWhileChanging_ = true;
  return database;
}

std::vector<LibraryView::MissingWalRows> LibraryView::missingWalRows() const {
  std::vector<MissingWalRows> missing;
  for (const auto& [path, connection] : kDatabases) {
    if (const auto& database = this->*connection; database && database->missesWalRows()) {
      missing.push_back({package_ / path, *database->whyWalRowsAreMissing()});
    }
  }
  return missing;
}

std::vector<fs::path> LibraryView::unopened() const {
  std::vector<fs::path> files;
  for (std::size_t at = 0; at < kDatabases.size(); ++at) {
    const auto& [path, connection] = kDatabases[at];
    if (identity_.files[2 * at].exists && !(this->*connection)) files.push_back(package_ / path);
  }
  return files;
}

fs::path LibraryView::packagePathOf(const fs::path& file) const {
  for (const char* database : {kPhotosPath, kSearchPath, kLeoPath}) {
    if (fs::path(database).filename() == file.filename()) return package_ / database;
  }
  return file;
}

bool LibraryView::isUnchanged() const {
  return readsOneVersion_ && identityOf(package_).isSameVersion(identity_);
}

LibraryView::Identity LibraryView::identityOf(const fs::path& package) {
  Identity identity{};
  const UniqueFd folder(::open(package.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat status {};
  if (!folder || ::fstat(folder.get(), &status) != 0) return identity;
  identity.folder = {status.st_dev, status.st_ino};
  for (std::size_t at = 0; at < kDatabases.size(); ++at) {
    const std::string path = kDatabases[at].path;
    identity.files[2 * at] = FileState::at(folder.get(), path);
    identity.files[2 * at + 1] = FileState::at(folder.get(), path + "-wal");
    identity.shm[at] = FileState::at(folder.get(), path + "-shm");
  }
  return identity;
}

}  // namespace lumenfolio
