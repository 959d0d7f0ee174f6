// What the readers of leo.sqlite share: its lexicon and items statements and
// the walks over their rows, including the lexeme id blobs of the items.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sqlite/sqlite_statement.hpp"
#include "metadata/text_cleaning.hpp"
#include "metadata/unicode_text.hpp"

namespace lumenfolio {

struct LeoIndex {
  static constexpr const char* kLexiconStatement =
      "SELECT lexeme_id, category, content FROM lexicon ORDER BY pk";
  static constexpr const char* kItemsStatement =
      "SELECT identifier, lexeme_ids FROM items WHERE type = 1";

  // The blobs of the items hold 32-bit ids, so a lexicon row whose id is
  // negative or above 2^32 - 1 can never be named by an item: it names nothing.
  static std::optional<std::uint32_t> lexemeId(std::int64_t value) {
    if (value < 0 || value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(value);
  }

  // Calls visit(id, category, content) for each lexicon row in table order;
  // content is the raw column text (nothing for NULL). Rows whose id is out of
  // range are passed over. False when the statement does not compile.
  template <typename Visit>
  static bool forEachLexeme(const SqliteDatabase& leo, Visit visit) {
    SqliteStatement statement(leo, kLexiconStatement);
    if (!statement) return false;
    while (statement.step()) {
      const auto id = lexemeId(statement.columnInt64(0));
      if (id) visit(*id, statement.columnInt(1), statement.columnText(2));
    }
    return true;
  }

  // Calls visit(identifier, blob) for each item with an identifier and a
  // blob; the identifier is cleaned and upper-cased. False when the statement
  // does not compile.
  template <typename Visit>
  static bool forEachItem(const SqliteDatabase& leo, Visit visit) {
    SqliteStatement statement(leo, kItemsStatement);
    if (!statement) return false;
    while (statement.step()) {
      const auto identifier = cleaned(statement.columnText(0));
      if (!identifier) continue;
      const auto blob = statement.columnBlob(1);
      if (!blob) continue;
      visit(UnicodeText::upper(*identifier), *blob);
    }
    return true;
  }

  // The ids of an item's blob: little-endian 32-bit values at offsets 0, 4,
  // 8 and so on; trailing bytes that do not make a whole id are ignored.
  template <typename Visit>
  static void forEachLexemeId(std::span<const std::uint8_t> blob, Visit visit) {
    for (std::size_t at = 0; at + 4 <= blob.size(); at += 4) {
      visit(static_cast<std::uint32_t>(blob[at]) | static_cast<std::uint32_t>(blob[at + 1]) << 8 |
            static_cast<std::uint32_t>(blob[at + 2]) << 16 |
            static_cast<std::uint32_t>(blob[at + 3]) << 24);
    }
  }
};

}  // namespace lumenfolio
