// Whether SQLite itself finds a library package's databases sound. Each
// database is checked on a copy (with its "-wal" and "-shm"), so the check
// changes no byte of the package. A database that is there but is no regular
// file (a folder, a fifo, a link) counts as failing; a missing one does not,
// as a library without one of its search databases is a library still.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace lumenfolio::fuzz {

class LibraryIntegrity {
 public:
  // The package's databases, relative to the package.
  static const std::vector<std::filesystem::path>& databases();

  // The databases that fail (relative to the package), each with what SQLite
  // said; empty when all pass. `scratch` is a folder the copies may be made in.
  using Failures = std::map<std::filesystem::path, std::string>;
  static Failures failures(const std::filesystem::path& package,
                           const std::filesystem::path& scratch);
};

}  // namespace lumenfolio::fuzz
