// Opens one database of the Photos library package strictly read-only, without
// creating or changing any file inside the package.
#pragma once

#include <filesystem>
#include <optional>

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

  // Nothing when the file is missing or neither attempt opens it.
  static std::optional<LibraryDatabase> open(const std::filesystem::path& file);

  const SqliteDatabase& connection() const noexcept { return db_; }

  // The "file:" URI for a path: every byte outside the unreserved set and "/"
  // percent-encoded, so spaces, '#', '?', '%' and non-ASCII names open as they are.
  static std::string fileURI(const std::filesystem::path& file);

 private:
  SqliteDatabase db_;
  std::optional<std::filesystem::path> snapshotFolder_;
};

}  // namespace lumenfolio
