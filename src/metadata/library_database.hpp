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
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "sqlite/sqlite_database.hpp"

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

  // The "file:" URI for a path: every byte outside the unreserved set and "/"
  // percent-encoded, so spaces, '#', '?', '%' and non-ASCII names open as they are.
  static std::string fileURI(const std::filesystem::path& file);

 private:
  explicit LibraryDatabase(SqliteDatabase db) noexcept;
  static std::optional<LibraryDatabase> wrapped(SqliteDatabase db);
  static std::optional<LibraryDatabase> openWithWalContent(const std::filesystem::path& file);
  static std::optional<LibraryDatabase> openSnapshot(const std::filesystem::path& file);
  void release() noexcept;

  SqliteDatabase db_;
  std::optional<std::filesystem::path> snapshotFolder_;
};

}  // namespace lumenfolio
