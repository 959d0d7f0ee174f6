// Which file on disk a shared file written by this program is: its path, the
// device and inode it lives on, its size and its modification time.
//
// A digest alone says what was written, not that it is still there: a sync
// client may truncate the file, overwrite it or put a link in its place, and a
// folder chosen again later may hold an older file. The identity taken at the
// write tells the file that was written from anything else under that name.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lumenfolio {

struct SharedFileIdentity {
  std::filesystem::path file;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNanoseconds = 0;

  // The entry under `file` itself, never what a link points to; nothing unless
  // it is a regular file.
  static std::optional<SharedFileIdentity> of(const std::filesystem::path& file);
  // The open file behind `descriptor`, to be known under the name `file`.
  static std::optional<SharedFileIdentity> ofDescriptor(int descriptor,
                                                        const std::filesystem::path& file);

  // One line of text for the preferences: the four numbers, then the path,
  // which may hold spaces and so comes last.
  std::string text() const;
  // Nothing when the text is not of that form.
  static std::optional<SharedFileIdentity> parse(std::string_view text);

  bool operator==(const SharedFileIdentity&) const = default;
};

}  // namespace lumenfolio
