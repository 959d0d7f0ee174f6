// One run's reading of a Photos library package: the package as located at
// the run's start, each of its three databases opened once and held in one
// read transaction, so that every read of the run sees one version of each
// database, and the identity of their files at that moment, so that the run
// can tell whether the package changed under it (replaced by a newer copy,
// restored from a backup, written to) before it writes what it read.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "metadata/library_database.hpp"
#include "metadata/library_schema.hpp"

namespace lumenfolio {

class LibraryView {
 public:
  static constexpr const char* kPhotosPath = "database/Photos.sqlite";
  static constexpr const char* kSearchPath = "database/search/psi.sqlite";
  static constexpr const char* kLeoPath = "database/search/leo.sqlite";

  // Takes the identity of the package's files, then opens what opens. Once
  // `stop` is requested, every read of the view fails with SQLITE_INTERRUPT.
  static LibraryView open(std::filesystem::path package, std::stop_token stop = {});

  const std::filesystem::path& package() const noexcept { return package_; }
  // Each connection, or nothing when that database did not open.
  const SqliteDatabase* photos() const noexcept { return connectionOf(photos_); }
  const SqliteDatabase* search() const noexcept { return connectionOf(search_); }
  const SqliteDatabase* leo() const noexcept { return connectionOf(leo_); }
  // What Photos.sqlite names differently when it is an older library.
  const LibrarySchema& schema() const noexcept { return schema_; }
  bool opensNothing() const noexcept { return !photos_ && !search_ && !leo_; }
  // The package's databases that are there but did not open, each read as absent.
  std::vector<std::filesystem::path> unopened() const;
  // A database of the package read without the rows of its "-wal", which
  // could not be read, and why.
  struct MissingWalRows {
    std::filesystem::path file;
    std::string cause;
    bool operator==(const MissingWalRows&) const = default;
  };
  std::vector<MissingWalRows> missingWalRows() const;

  // The package's own path of a database file read, which may be a private
  // snapshot copy of it: what a person who reads a failure can look at.
  std::filesystem::path packagePathOf(const std::filesystem::path& file) const;

  // True while each database and its "-wal" are still the files that were
  // opened and read (device, inode, size, modification time), or still
  // absent, and all of them, with the "-shm" of those read in place, were the
  // package's files at one moment.
  bool isUnchanged() const;

 private:
  using FileState = LibraryDatabase::FileState;
  // The package's databases, each with the member that holds its connection:
  // the identity holds their files in this order, each followed by its "-wal".
  struct Database {
    const char* path;
    std::optional<LibraryDatabase> LibraryView::*connection;
  };
  static constexpr std::size_t kDatabaseCount = 3;
  static const std::array<Database, kDatabaseCount> kDatabases;
  // The package's files as one opening of its folder finds them, so that a
  // package exchanged for another meanwhile never mixes the files of both.
  struct Identity {
    LibraryDatabase::FileKey folder;
    // Each database, then its "-wal".
    std::array<FileState, 2 * kDatabaseCount> files;
    // Each database's "-shm": it tells which version a read in place saw,
    // but is no part of what is compared later.
    std::array<FileState, kDatabaseCount> shm;

    bool isSameVersion(const Identity& other) const {
      return folder == other.folder && files == other.files;
    }
  };

  static Identity identityOf(const std::filesystem::path& package);
  // Starts the read transaction of a database just opened; false when it can't.
  using BeginReading = std::function<bool(SqliteDatabase&)>;
  std::optional<LibraryDatabase> openDatabase(const std::filesystem::path& file,
                                              const BeginReading& begin);
  bool readsWhatStandsThere() const;
  static const SqliteDatabase* connectionOf(const std::optional<LibraryDatabase>& database) {
    return database ? &database->connection() : nullptr;
  }

  std::filesystem::path package_;
  Identity identity_{};
  bool readsOneVersion_ = false;
  bool failedWhileChanging_ = false;
  std::optional<LibraryDatabase> photos_;
  LibrarySchema schema_;
  std::optional<LibraryDatabase> search_;
  std::optional<LibraryDatabase> leo_;
};

}  // namespace lumenfolio
