// Opens one database of the Photos library package strictly read-only, without
// creating or changing any file inside the package.
//
// A read-only SQLite connection to a database in WAL mode still wants a "-shm"
// (and creates one, and a "-wal", when they are missing); one whose header is
// short or damaged looks for a "-wal" anyway, deleting it as stale beside an
// almost empty file and creating a "-shm" beside a longer one. An immutable
// open ignores the "-wal" altogether, so the rows written since the last
// checkpoint would silently be missing. The opening therefore looks at the
// header and at the side files that exist:
//   - no side files: "?mode=ro" (then "?immutable=1") for a plain rollback
//     header, "?immutable=1" for any other, as that is all there is to read;
//   - side files but no WAL content: "?immutable=1";
//   - WAL content, a WAL header and a "-shm": in place, the "-shm" opened read-only;
//   - any other WAL content, or an in-place open that fails: a private
//     snapshot of the database and its "-wal" in a temporary folder (mode 0700),
//     opened there and removed when this object goes away.
// When all of that fails, the immutable open is the last resort.
//
// A package replaced while it is opened could pair one copy's file with
// another copy's side files, or choose its reading by side files that are no
// longer there: an opening during which the file or its "-wal" changed is
// made again, a few times at most.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "metadata/snapshot_folder.hpp"
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

  // Nothing when the path is not a non-empty regular file, when it ends inside
  // a page, or when no attempt opens it. Every connection is read-only,
  // URI-named and without SQLite's mutexes, checks each cell against its page
  // as it reads, and has answered "SELECT 1 FROM sqlite_master LIMIT 1".
  static std::optional<LibraryDatabase> open(const std::filesystem::path& file);

  // How the connection reads the file: where it stands (with its "-wal" if
  // it has one), where it stands without its "-wal", or from a private copy.
  enum class Reading { inPlace, withoutWal, snapshot };
  // A file as the system knows it, whatever name it goes by.
  struct FileKey {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileKey&) const = default;
  };
  // A file as it stands at one moment: which file, of which kind, how long,
  // when last written.
  struct FileState {
    bool exists = false;
    bool regular = false;
    FileKey key;
    off_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileState&) const = default;
    // Whether both are the same file, or both absent.
    bool isSameFile(const FileState& other) const {
      return exists == other.exists && (!exists || key == other.key);
    }
    static FileState of(const std::filesystem::path& file);
    // The file at `path`, looked up from the open folder `folder`.
    static FileState at(int folder, const std::filesystem::path& path);
  };
  // A database file and its "-wal" as they stand at one moment.
  struct Standing {
    FileState file;
    FileState wal;
    bool operator==(const Standing&) const = default;
    static Standing of(const std::filesystem::path& file);
  };

  const SqliteDatabase& connection() const noexcept { return db_; }
  SqliteDatabase& connection() noexcept { return db_; }
  Reading reading() const noexcept { return reading_; }
  // Whether `file` is the database, or its "-wal", that a snapshot copied.
  bool copied(const FileKey& file) const;
  // For a reading without the "-wal": the "-wal" that stood beside the file
  // when the reading was chosen.
  const FileState& walLeftOut() const noexcept { return walLeftOut_; }
  // Whether the file and its "-wal" stood still while the connection was opened.
  bool stoodStill() const noexcept { return stoodStill_; }
  // Whether rows written since the last checkpoint are missing from the
  // reading: its "-wal" had content that could not be read.
  bool missesWalRows() const noexcept { return walRowsMissing_.has_value(); }
  // Why they are: what failed to copy the database and its "-wal" where they
  // could be read, with the path and the system's or SQLite's words.
  const std::optional<std::string>& whyWalRowsAreMissing() const noexcept {
    return walRowsMissing_;
  }

 private:
  LibraryDatabase(SqliteDatabase db, Reading reading) noexcept;
  static std::optional<LibraryDatabase> openAsItStands(const std::filesystem::path& file,
                                                       const Standing& standing);
  static std::optional<LibraryDatabase> immutable(const std::filesystem::path& file,
                                                  const FileState& wal);
  static std::optional<LibraryDatabase> openWithWalContent(const std::filesystem::path& file,
                                                           const Standing& standing,
                                                           bool headerSaysWal);
  static std::optional<LibraryDatabase> openSnapshot(const std::filesystem::path& file,
                                                     const Standing& standing,
                                                     bool& copiedAnotherCopy);
  void release() noexcept;

  SqliteDatabase db_;
  Reading reading_ = Reading::inPlace;
  std::optional<SnapshotFolder> snapshot_;
  std::vector<FileKey> copied_;
  FileState walLeftOut_;
  std::optional<std::string> walRowsMissing_;
  bool stoodStill_ = true;
};

}  // namespace lumenfolio
