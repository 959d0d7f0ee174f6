#include "metadata/library_database.hpp"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/failure.hpp"
#include "base/file_uri.hpp"
#include "base/unique_fd.hpp"

namespace lumenfolio {
namespace fs = std::filesystem;
namespace {

constexpr int kOpenFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
constexpr const char* kProbe = "SELECT 1 FROM sqlite_master LIMIT 1";
constexpr int kBusyTimeoutMilliseconds = 1000;
constexpr const char* kCheckCells = "PRAGMA cell_size_check = ON";
// Enough for a package replaced now and then; a package replaced without
// pause is left to the reader of the package to notice.
constexpr int kOpenAttempts = 3;

constexpr std::string_view kReadOnly = "?mode=ro";
constexpr std::string_view kImmutable = "?immutable=1";
// A read-only connection still records its read marks in a writable "-shm";
// opening the "-shm" read-only keeps a live library's side files untouched too.
constexpr std::string_view kReadOnlyInPlace = "?mode=ro&readonly_shm=1";

fs::path sideFile(const fs::path& file, std::string_view suffix) {
  fs::path side = file;
  side += suffix;
  return side;
}

// Only a regular file with content can be a library database; anything else
// (a folder, a fifo that would block the open, an empty file that SQLite would
// take for a new, empty database) is not opened at all.
bool isCandidate(const fs::path& file) {
  std::error_code error;
  return fs::is_regular_file(file, error) && fs::file_size(file, error) > 0 && !error;
}

// A file cut short inside its last page (a half-copied or interrupted
// restore) reads as a page whose missing end is zeros: SQLite takes that for
// cells and rows without a word, so such a file is no database to read.
// Whole pages that are missing SQLite finds by itself.
bool endsInsidePage(const fs::path& file) {
  std::array<unsigned char, 18> header{};
  std::ifstream stream(file, std::ios::binary);
  if (!stream.read(reinterpret_cast<char*>(header.data()), header.size())) return false;
  // Bytes 16 and 17 hold the page size, big-endian, with 1 standing for 65536.
  const unsigned stored = header[16] << 8 | header[17];
  const std::uintmax_t pageSize = stored == 1 ? 65536 : stored;
  const bool validPageSize = pageSize >= 512 && (pageSize & (pageSize - 1)) == 0;
  std::error_code error;
  const auto size = fs::file_size(file, error);
  return validPageSize && !error && size % pageSize != 0;
}

enum class Header { rollback, wal, doubtful };

// A header that says neither journal mode plainly (short, damaged, half
// copied) is doubtful: SQLite decides by byte 19 alone and by the side files,
// and may then create, use or delete side files beside the file.
Header headerOf(const fs::path& file) {
  static constexpr std::string_view kMagic("SQLite format 3\0", 16);
  std::array<char, 20> header{};
  std::ifstream stream(file, std::ios::binary);
  if (!stream.read(header.data(), header.size())) return Header::doubtful;
  if (std::string_view(header.data(), kMagic.size()) != kMagic) return Header::doubtful;
  // Bytes 18 and 19 are the file format's write and read versions: 1 is a
  // rollback journal, 2 WAL.
  if (header[18] == 1 && header[19] == 1) return Header::rollback;
  if (header[18] == 2 && header[19] == 2) return Header::wal;
  return Header::doubtful;
}

// Judged from the "-wal" as it stood when the opening began, the moment
// whose files the opening is checked against: a look of its own could catch
// a package in the middle of being replaced, and take the "-wal" of the
// files that are back in place by the end for one without content.
bool hasWalContent(const LibraryDatabase::Standing& standing) {
  return standing.wal.exists && standing.wal.regular && standing.wal.size > 0;
}

bool isPresent(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

// SQLite opens the side files it finds: a "-journal" to learn whether it is
// hot, the "-shm" and "-wal" of a read in place. Its opens never wait, but a
// fifo under one of those names would still end the read in an error, so a
// database is read in place only when each side file beside it is a regular
// file, or absent; any other is read from a copy, or without its side files.
bool sideFilesAreRegular(const fs::path& file) {
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    std::error_code error;
    const auto type = fs::status(sideFile(file, suffix), error).type();
    if (type != fs::file_type::not_found && type != fs::file_type::regular) return false;
  }
  return true;
}

// A connection that has passed the checks; throws the SqliteError of the
// first that fails.
SqliteDatabase opened(const fs::path& file, std::string_view parameters) {
  auto db = SqliteDatabase::open(FileUri::of(file) + std::string(parameters), kOpenFlags);
  if (!db) throw db.error("open");
  // The library's owner may hold a lock for a moment (a checkpoint, a
  // recovery); waiting a little beats failing a read, waiting long blocks a run.
  sqlite3_busy_timeout(db.handle(), kBusyTimeoutMilliseconds);
  // Cells pointing outside their page (flipped bytes) are then an error
  // instead of rows quietly skipped, for a cost lost in the noise of a read.
  if (db.exec(kCheckCells) != SQLITE_OK) throw db.error("check the cells of");
  if (db.exec(kProbe) != SQLITE_OK) throw db.error("read the schema of");
  return db;
}

// The connection, or none when a way of opening fails and the next is tried.
SqliteDatabase attempt(const fs::path& file, std::string_view parameters) {
  try {
    return opened(file, parameters);
  } catch (const SqliteError&) {
    return {};
  }
}

// Copies `source` into `folder` from one descriptor, so that what is known of
// the file copied is the file whose bytes were copied, even when another
// file takes its name meanwhile.
LibraryDatabase::FileKey copyInto(const fs::path& source, const fs::path& folder) {
  const UniqueFd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in) throw Failure::fromErrno("open", source, errno);
  struct stat status {};
  if (::fstat(in.get(), &status) != 0) throw Failure::fromErrno("look at", source, errno);
  if (!S_ISREG(status.st_mode) || status.st_size == 0) {
    throw Failure("copy", source, "not a regular file with content");
  }
  const auto target = folder / source.filename();
  const UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!out) throw Failure::fromErrno("create", target, errno);
  for (;;) {
    const auto copied = ::sendfile(out.get(), in.get(), nullptr, 1 << 20);
    if (copied == 0) break;
    if (copied < 0 && errno != EINTR) throw Failure::fromErrno("copy into", target, errno);
  }
  return LibraryDatabase::FileKey{status.st_dev, status.st_ino};
}

}  // namespace

LibraryDatabase::LibraryDatabase(SqliteDatabase db, Reading reading) noexcept
    : db_(std::move(db)), reading_(reading) {}

LibraryDatabase::LibraryDatabase(LibraryDatabase&& other) noexcept
    : db_(std::move(other.db_)),
      reading_(other.reading_),
      snapshot_(std::exchange(other.snapshot_, std::nullopt)),
      copied_(std::move(other.copied_)),
      walLeftOut_(other.walLeftOut_),
      walRowsMissing_(std::move(other.walRowsMissing_)),
      stoodStill_(other.stoodStill_) {}

LibraryDatabase& LibraryDatabase::operator=(LibraryDatabase&& other) noexcept {
  if (this != &other) {
    release();
    db_ = std::move(other.db_);
    reading_ = other.reading_;
    snapshot_ = std::exchange(other.snapshot_, std::nullopt);
    copied_ = std::move(other.copied_);
    walLeftOut_ = other.walLeftOut_;
    walRowsMissing_ = std::move(other.walRowsMissing_);
    stoodStill_ = other.stoodStill_;
  }
  return *this;
}

bool LibraryDatabase::copied(const FileKey& file) const {
  return std::find(copied_.begin(), copied_.end(), file) != copied_.end();
}

LibraryDatabase::~LibraryDatabase() {
  release();
}

void LibraryDatabase::release() noexcept {
  // The connection goes first: its "-shm" lives in the snapshot folder.
  db_.close();
  snapshot_.reset();
}

LibraryDatabase::FileState LibraryDatabase::FileState::of(const fs::path& file) {
  return at(AT_FDCWD, file);
}

LibraryDatabase::FileState LibraryDatabase::FileState::at(int folder, const fs::path& path) {
  struct stat status {};
  if (::fstatat(folder, path.c_str(), &status, 0) != 0) return {};
  return {
      true,
      S_ISREG(status.st_mode),
      {status.st_dev, status.st_ino},
      status.st_size,
      static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

LibraryDatabase::Standing LibraryDatabase::Standing::of(const fs::path& file) {
  return {FileState::of(file), FileState::of(sideFile(file, "-wal"))};
}

std::optional<LibraryDatabase> LibraryDatabase::open(const fs::path& file) {
  std::optional<LibraryDatabase> database;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const auto before = Standing::of(file);
    database = openAsItStands(file, before);
    const bool stoodStill = Standing::of(file) == before;
    if (!database) {
      if (stoodStill) break;
      continue;
    }
    database->stoodStill_ = database->stoodStill_ && stoodStill;
    // Rows left out may be the doing of a copy that was put in place and
    // taken away again meanwhile: they are worth another attempt.
    if (database->stoodStill_ && !database->missesWalRows()) break;
  }
  return database;
}

std::optional<LibraryDatabase> LibraryDatabase::openAsItStands(const fs::path& file,
                                                               const Standing& standing) {
  if (!isCandidate(file) || endsInsidePage(file)) return std::nullopt;
  const auto header = headerOf(file);
  if (!standing.wal.exists && !isPresent(sideFile(file, "-shm"))) {
    if (header == Header::rollback && sideFilesAreRegular(file)) {
      if (auto db = attempt(file, kReadOnly))
        return LibraryDatabase(std::move(db), Reading::inPlace);
    }
    // Any other open would create side files beside a WAL or doubtful header,
    // or wait on a side file that is no file.
    return immutable(file, standing.wal);
  }
  // From here on side files lie beside the database, and they are never
  // opened in a way that could create, change or delete one.
  if (!hasWalContent(standing)) return immutable(file, standing.wal);
  return openWithWalContent(file, standing, header == Header::wal);
}

std::optional<LibraryDatabase> LibraryDatabase::openWithWalContent(const fs::path& file,
                                                                   const Standing& standing,
                                                                   bool headerSaysWal) {
  // In place only when SQLite is sure to take the "-wal" as it is and to
  // find the "-shm" it may only read.
  if (headerSaysWal && isPresent(sideFile(file, "-shm")) && sideFilesAreRegular(file)) {
    if (auto db = attempt(file, kReadOnlyInPlace)) {
      return LibraryDatabase(std::move(db), Reading::inPlace);
    }
  }
  bool copiedAnotherCopy = false;
  std::string whyNoCopy;
  try {
    if (auto snapshot = openSnapshot(file, standing, copiedAnotherCopy)) return snapshot;
    whyNoCopy = "its files were replaced while they were copied";
  } catch (const Failure& failure) {
    whyNoCopy = failure.what();
  }
  // Better the checkpointed rows than none at all, unless the copy shows
  // that the files were being replaced, which explains the failures.
  auto database = immutable(file, standing.wal);
  if (database) {
    database->walRowsMissing_ = std::move(whyNoCopy);
    database->stoodStill_ = !copiedAnotherCopy;
  }
  return database;
}

std::optional<LibraryDatabase> LibraryDatabase::immutable(const fs::path& file,
                                                          const FileState& wal) {
  auto db = attempt(file, kImmutable);
  if (!db) return std::nullopt;
  LibraryDatabase database(std::move(db), Reading::withoutWal);
  database.walLeftOut_ = wal;
  return database;
}

// Whatever SQLite does with the copies' side files (recovers, creates or
// deletes them) happens in the private folder, never in the package. Copies
// of other files than those that stood when the opening began are no
// snapshot of the library: `copiedAnotherCopy` then says so.
std::optional<LibraryDatabase> LibraryDatabase::openSnapshot(const fs::path& file,
                                                             const Standing& standing,
                                                             bool& copiedAnotherCopy) {
  LibraryDatabase snapshot;
  snapshot.reading_ = Reading::snapshot;
  snapshot.snapshot_ = SnapshotFolder::create();
  const auto& target = snapshot.snapshot_->path();
  for (const auto& source : {file, sideFile(file, "-wal")}) {
    snapshot.copied_.push_back(copyInto(source, target));
  }
  copiedAnotherCopy = snapshot.copied_ != std::vector{standing.file.key, standing.wal.key};
  if (copiedAnotherCopy) return std::nullopt;
  snapshot.db_ = opened(target / file.filename(), kReadOnly);
  return snapshot;
}

}  // namespace lumenfolio
