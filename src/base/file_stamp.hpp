// What tells one state of a file on disk from another without reading it:
// device, inode, size, and modification and change times in nanoseconds.
// Any write, replacement, truncation or touch of the file changes its stamp.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lumenfolio {

class FileStamp {
 public:
  // "DEVICE INODE SIZE MTIME_NS ctime CTIME_NS" for the entry at `file` (a link is
  // not followed), "missing" when there is none, "unknown" when it cannot be
  // looked at: a stamp that is unknown is never taken for an unchanged file.
  static std::string of(const std::filesystem::path& file);

  static constexpr const char* kUnknown = "unknown";

  // Whether two texts made of stamps (and other words) are the same but for
  // the change times in them. Reading a database can change its "-wal"'s
  // change time and nothing else (SQLite running as root gives the file its
  // owner again on each open), which says nothing about its content.
  static bool sameButForChangeTimes(std::string_view a, std::string_view b);
};

}  // namespace lumenfolio
