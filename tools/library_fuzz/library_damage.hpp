// Damage of the kinds a failing disk, a sync client, a crash or a careless copy
// leave in a Photos library package: flipped bytes in pages and headers, files
// cut short, tables and columns gone, NULLs and values of the wrong type, huge
// texts and blobs, invalid UTF-8, garbage or missing "-wal" and "-shm" files,
// and a database or a side file replaced by a folder, a fifo or a link to
// /dev/zero.
#pragma once

#include <filesystem>
#include <string>

#include "sample_library/sample_random.hpp"

namespace lumenfolio::fuzz {

class LibraryDamage {
 public:
  // Damages the package in place, with one damage drawn from `random`, and
  // says what was done so that a failing case can be understood and redone.
  static std::string applyTo(const std::filesystem::path& package, sample::SampleRandom& random);
};

}  // namespace lumenfolio::fuzz
