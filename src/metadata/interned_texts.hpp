// A table of distinct texts, each kept once under a small id, with the id of
// its canonical-equivalence class: readers that meet the same few thousand
// terms in millions of rows normalise each text once and compare ids after.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lumenfolio {

class InternedTexts {
 public:
  // The id of `text`, added when it is new. Ids count up from 0.
  std::uint32_t intern(std::string_view text);

  const std::string& text(std::uint32_t id) const { return *texts_[id]; }
  // Equal for two ids exactly when their texts are canonically equivalent.
  std::uint32_t canonical(std::uint32_t id) const { return canonical_[id]; }
  std::size_t size() const { return texts_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };
  using Index = std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>>;

  Index ids_;  // owns the texts; node keys stay put as the table grows
  std::vector<const std::string*> texts_;
  std::vector<std::uint32_t> canonical_;
  Index canonicalIds_;
};

}  // namespace lumenfolio
