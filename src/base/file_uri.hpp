// The "file:" URI of a path, as SQLite opens it with SQLITE_OPEN_URI.
#pragma once

#include <filesystem>
#include <string>

namespace lumenfolio {

class FileUri {
 public:
  // "file://" and the absolute path with every byte outside the unreserved set
  // and "/" percent-encoded, so spaces, '#', '?', '%' and non-ASCII names open
  // as they are and the query that follows is read as one.
  static std::string of(const std::filesystem::path& file);
};

}  // namespace lumenfolio
