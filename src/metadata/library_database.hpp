// Opens one database of the Photos library package strictly read-only, without
// creating or changing any file inside the package.
//
// A read-only SQLite connection to a database in WAL mode still wants a "-shm"
// (and creates one, and a "-wal", when they are missing), and an immutable open
// ignores the "-wal" altogether, so the rows written since the last checkpoint
// would silently be missing. The opening therefore looks at the journal mode and
// the side files first:
//   - rollback journal: "?mode=ro", else "?immutable=1";
//   - WAL without WAL content: "?immutable=1" at once, as the main file is complete;
//   - WAL content with its "-shm": in place, with the "-shm" opened read-only;
//   - WAL content without a "-shm", or an in-place open that fails: a private
//     snapshot of the database and its "-wal" in a temporary folder (mode 0700),
//     opened there and removed when this object goes away.
// When all of that fails, the immutable open is the last resort.
//
// An immutable connection and a snapshot keep showing the library as it was
// when they were opened; `isOutdated()` tells when the files have moved on
// since, so a long-running reader can open them afresh.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "metadata/sqlite_database.hpp"

namespace lumenfolio {

class LibraryDatabase {
 public:
  LibraryDatabase() = default;
  LibraryDatabase(LibraryDatabase&&) noexcept;
  LibraryDatabase& operator=(LibraryDatabase&&) noexcept;
  LibraryDatabase(const LibraryDatabase&) = delete;
  LibraryDatabase& operator=(const LibraryDatabase&) = delete;
  ~LibraryDatabase();  // closes the connection, then removes a private snapshot

  // Nothing when the path is not a non-empty regular file or no attempt opens
  // it. Every connection is read-only, URI-named and without SQLite's mutexes,
  // and has answered "SELECT 1 FROM sqlite_master LIMIT 1".
  static std::optional<LibraryDatabase> open(const std::filesystem::path& file);

  const SqliteDatabase& connection() const noexcept { return db_; }
  // The folder holding the private snapshot being read, if it came to that.
  const std::optional<std::filesystem::path>& snapshotFolder() const noexcept {
    return snapshotFolder_;
  }

  // True when this connection reads a frozen picture of the database (an
  // immutable open or a snapshot) and the database or its "-wal" has changed since.
  bool isOutdated() const;
  // The database file a frozen connection reads; nothing for one read in place.
  const std::optional<std::filesystem::path>& frozenFile() const noexcept { return frozenFile_; }

  // The "file:" URI for a path: every byte outside the unreserved set and "/"
  // percent-encoded, so spaces, '#', '?', '%' and non-ASCII names open as they are.
  static std::string fileURI(const std::filesystem::path& file);

 private:
  explicit LibraryDatabase(SqliteDatabase db) noexcept;
  static std::optional<LibraryDatabase> wrapped(SqliteDatabase db);
  static std::optional<LibraryDatabase> openAsFound(const std::filesystem::path& file);
  bool readsInPlace() const;
  static std::optional<LibraryDatabase> openWithWalContent(const std::filesystem::path& file);
  static std::optional<LibraryDatabase> openSnapshot(const std::filesystem::path& file);
  void release() noexcept;

  // What identifies one version of a file: its inode, size and modification time.
  struct FileState {
    bool exists = false;
    std::uintmax_t inode = 0;
    std::uintmax_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileState&) const = default;
  };
  static FileState stateOf(const std::filesystem::path& file);

  SqliteDatabase db_;
  std::optional<std::filesystem::path> snapshotFolder_;
  // Set for frozen connections: the file read and the states it was read in.
  std::optional<std::filesystem::path> frozenFile_;
  FileState frozenDatabase_;
  FileState frozenWal_;
};

}  // namespace lumenfolio
