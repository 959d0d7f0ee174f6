// The Unicode rules the library readers and the panel record rely on:
// normalisation, canonical equivalence, folding, case mapping and counting
// characters as a person reads them. Every rule comes from ICU; plain ASCII
// takes a short path where the answer is known without it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/asset_uuid.hpp"

namespace lumenfolio {

class UnicodeText {
 public:
  // The NFC form of UTF-8 text. Two texts are canonically equivalent exactly
  // when their NFC forms are the same bytes, so this is also the key under
  // which such texts count as one.
  static std::string canonicalKey(std::string_view text);

  // Equal as Unicode text: the same characters up to canonical equivalence
  // (a precomposed "é" equals "e" followed by a combining acute accent).
  static bool canonicallyEqual(std::string_view a, std::string_view b);

  // Case and diacritic distinctions removed, then lower-cased, in NFC form:
  // "Café" and "CAFE" both give "cafe".
  static std::string folded(std::string_view text);

  // Full Unicode case mappings without a locale ("ß" upper-cases to "SS").
  static std::string upper(std::string_view text);
  // The UUID whose text is upper(uuid.text()).
  static AssetUuid upperUuid(const AssetUuid& uuid);
  static std::string lower(std::string_view text);

  // The number of extended grapheme clusters: "e" plus a combining accent is
  // one, a family emoji joined by zero-width joiners is one.
  static std::size_t graphemeCount(std::string_view text);

  // The first `count` characters (extended grapheme clusters) of `text`, or
  // all of it when it holds no more, so that neither a multi-byte character
  // nor a letter with its combining marks is ever cut in half. One pass that
  // stops at the end of the last character wanted: hostile text (a letter
  // with a million combining marks) costs time in proportion to its length.
  static std::string_view firstCharacters(std::string_view text, std::size_t count);

  // True when `text` begins with the characters of the ASCII `prefix`, the
  // prefix ending on a character boundary ("my " does not begin "my \u0301x",
  // whose third character is a space with an accent).
  static bool hasCharacterPrefix(std::string_view text, std::string_view prefix);

  static bool isAscii(std::string_view text);
};

}  // namespace lumenfolio
