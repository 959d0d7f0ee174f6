#include "metadata/library_database.hpp"

#include <stdlib.h>

#include <array>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>

namespace lumenfolio {
namespace fs = std::filesystem;
namespace {

constexpr int kOpenFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
constexpr const char* kProbe = "SELECT 1 FROM sqlite_master LIMIT 1";

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

// Header bytes 18 and 19 are the file format's write and read versions; 2 means WAL.
bool isWalMode(const fs::path& file) {
  std::array<char, 20> header{};
  std::ifstream stream(file, std::ios::binary);
  if (!stream.read(header.data(), header.size())) return false;
  return header[18] == 2 && header[19] == 2;
}

bool hasWalContent(const fs::path& file) {
  return isCandidate(sideFile(file, "-wal"));
}

bool isPresent(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

SqliteDatabase attempt(const fs::path& file, std::string_view parameters) {
  auto db =
      SqliteDatabase::open(LibraryDatabase::fileURI(file) + std::string(parameters), kOpenFlags);
  if (db && db.exec(kProbe) == SQLITE_OK) return db;
  return {};
}

// The rollback-journal opening: read-only first, immutable when that fails.
SqliteDatabase readOnlyThenImmutable(const fs::path& file) {
  if (auto db = attempt(file, kReadOnly)) return db;
  return attempt(file, kImmutable);
}

std::optional<fs::path> makePrivateFolder() {
  std::error_code error;
  const auto base = fs::temp_directory_path(error);
  if (error) return std::nullopt;
  std::string pattern = (base / "lumenfolio-library-XXXXXX").string();
  // mkdtemp creates the folder with mode 0700: the copy stays the user's own.
  if (mkdtemp(pattern.data()) == nullptr) return std::nullopt;
  return fs::path(pattern);
}

bool copyInto(const fs::path& source, const fs::path& folder) {
  std::error_code error;
  return fs::copy_file(source, folder / source.filename(), error) && !error;
}

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

LibraryDatabase::LibraryDatabase(SqliteDatabase db) noexcept : db_(std::move(db)) {}

LibraryDatabase::LibraryDatabase(LibraryDatabase&& other) noexcept
    : db_(std::move(other.db_)), snapshotFolder_(std::exchange(other.snapshotFolder_, {})) {}

LibraryDatabase& LibraryDatabase::operator=(LibraryDatabase&& other) noexcept {
  if (this != &other) {
    release();
    db_ = std::move(other.db_);
    snapshotFolder_ = std::exchange(other.snapshotFolder_, {});
  }
  return *this;
}

LibraryDatabase::~LibraryDatabase() {
  release();
}

void LibraryDatabase::release() noexcept {
  // The connection goes first: its "-shm" lives in the snapshot folder.
  db_.close();
  if (!snapshotFolder_) return;
  std::error_code ignored;
  fs::remove_all(*snapshotFolder_, ignored);
  snapshotFolder_.reset();
}

std::optional<LibraryDatabase> LibraryDatabase::open(const fs::path& file) {
  if (!isCandidate(file)) return std::nullopt;
  if (!isWalMode(file)) return wrapped(readOnlyThenImmutable(file));
  if (hasWalContent(file)) return openWithWalContent(file);
  // Everything is in the main file; any other open would create side files beside it.
  return wrapped(attempt(file, kImmutable));
}

std::optional<LibraryDatabase> LibraryDatabase::openWithWalContent(const fs::path& file) {
  if (isPresent(sideFile(file, "-shm"))) {
    if (auto db = attempt(file, kReadOnlyInPlace)) return LibraryDatabase(std::move(db));
  }
  if (auto snapshot = openSnapshot(file)) return snapshot;
  // Better the checkpointed rows than none at all.
  return wrapped(attempt(file, kImmutable));
}

std::optional<LibraryDatabase> LibraryDatabase::wrapped(SqliteDatabase db) {
  if (!db) return std::nullopt;
  return LibraryDatabase(std::move(db));
}

std::optional<LibraryDatabase> LibraryDatabase::openSnapshot(const fs::path& file) {
  auto folder = makePrivateFolder();
  if (!folder) return std::nullopt;
  // Owning the folder from here on removes it on every way out.
  LibraryDatabase snapshot;
  snapshot.snapshotFolder_ = std::move(folder);
  const auto& target = *snapshot.snapshotFolder_;
  if (!copyInto(file, target) || !copyInto(sideFile(file, "-wal"), target)) return std::nullopt;
  snapshot.db_ = attempt(target / file.filename(), kReadOnly);
  if (!snapshot.db_) return std::nullopt;
  return snapshot;
}

std::string LibraryDatabase::fileURI(const fs::path& file) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::error_code error;
  fs::path absolute = fs::absolute(file, error);
  if (error) absolute = file;
  std::string uri = "file://";
  for (const char byte : absolute.native()) {
    const auto c = static_cast<unsigned char>(byte);
    if (isUnreserved(c) || c == '/') {
      uri += byte;
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0x0F];
    }
  }
  return uri;
}

}  // namespace lumenfolio
