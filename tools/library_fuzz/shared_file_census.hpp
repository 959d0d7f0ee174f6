// How much a shared file holds: feature rows, search terms (one per line of a
// row's terms text) and measures (five bytes each in a row's packed blob).
// A damaged library may make an export fail, but a success must never hold
// less than the whole library gives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace lumenfolio::fuzz {

struct SharedFileCensus {
  std::int64_t rows = 0;
  std::int64_t terms = 0;
  std::int64_t measures = 0;

  // The census of the one shared file in `folder`; nothing when the folder
  // does not hold exactly one readable shared file.
  static std::optional<SharedFileCensus> inFolder(const std::filesystem::path& folder);

  bool holdsLessThan(const SharedFileCensus& whole) const {
    return rows < whole.rows || terms < whole.terms || measures < whole.measures;
  }
  // Whether this is the whole library's census with the terms of leo.sqlite,
  // as read when psi.sqlite can't be.
  bool holdsSearchFallbackOf(const SharedFileCensus& whole,
                             const SharedFileCensus& withoutSearchIndex) const {
    return rows >= whole.rows && measures >= whole.measures && terms == withoutSearchIndex.terms;
  }
  std::string describe() const;
};

}  // namespace lumenfolio::fuzz
