#include "metadata/interned_texts.hpp"

#include "metadata/unicode_text.hpp"

namespace lumenfolio {

std::uint32_t InternedTexts::intern(std::string_view text) {
  if (const auto found = ids_.find(text); found != ids_.end()) return found->second;
  const auto id = static_cast<std::uint32_t>(texts_.size());
  const auto nextCanonical = static_cast<std::uint32_t>(canonicalIds_.size());
  const auto klass =
      canonicalIds_.try_emplace(UnicodeText::canonicalKey(text), nextCanonical).first;
  texts_.push_back(&ids_.try_emplace(std::string(text), id).first->first);
  canonical_.push_back(klass->second);
  return id;
}

}  // namespace lumenfolio
