#include "metadata/text_cleaning.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace lumenfolio {
namespace {

using namespace std::string_literals;

std::optional<std::string> clean(std::string_view text) {
  return cleaned(std::optional<std::string_view>(text));
}

TEST(TextCleaning, nullColumnIsMissing) {
  EXPECT_FALSE(cleaned(std::nullopt).has_value());
}

TEST(TextCleaning, emptyOrBlankTextIsMissing) {
  EXPECT_FALSE(clean("").has_value());
  EXPECT_FALSE(clean(" \t\r\n\v\f ").has_value());
  EXPECT_FALSE(clean("\xC2\xA0\xE3\x80\x80\xE2\x80\xA8").has_value());
}

TEST(TextCleaning, textIsCutAtItsFirstNul) {
  EXPECT_EQ(clean("ABC\0DEF"s), "ABC");
  EXPECT_EQ(clean("  ABC \0 DEF"s), "ABC");
  EXPECT_FALSE(clean("\0ABC"s).has_value());
  EXPECT_EQ(clean("\xC3\xA9t\xC3\xA9\0\xFF"s), "\xC3\xA9t\xC3\xA9");
}

TEST(TextCleaning, asciiWhiteSpaceAndLineBreaksAreTrimmedFromBothEndsOnly) {
  EXPECT_EQ(clean("  Paris\n"), "Paris");
  EXPECT_EQ(clean("\t\r\nNew  York \v\f"), "New  York");
  EXPECT_EQ(clean("a\tb"), "a\tb");
}

TEST(TextCleaning, unicodeSpacesAndSeparatorsAreTrimmed) {
  // No-break space, ideographic space, line and paragraph separators, next line, thin space.
  EXPECT_EQ(clean("\xC2\xA0Z\xC3\xBCrich\xE3\x80\x80"), "Z\xC3\xBCrich");
  EXPECT_EQ(clean("\xE2\x80\xA8\xE2\x80\xA9Oslo\xC2\x85"), "Oslo");
  EXPECT_EQ(clean("\xE2\x80\x89\xE6\x9D\xB1\xE4\xBA\xAC\xE2\x80\x89"), "\xE6\x9D\xB1\xE4\xBA\xAC");
  EXPECT_EQ(clean("Rio\xC2\xA0"
                  "de\xC2\xA0Janeiro"),
            "Rio\xC2\xA0"
            "de\xC2\xA0Janeiro");
}

TEST(TextCleaning, formatCharactersAreNotWhiteSpace) {
  // Zero-width space and the byte-order mark are format characters, not spaces.
  EXPECT_EQ(clean("\xE2\x80\x8B"
                  "a"),
            "\xE2\x80\x8B"
            "a");
  EXPECT_EQ(clean("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");
}

TEST(TextCleaning, invalidUtf8BecomesReplacementCharacter) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(clean("\xFF"
                  "abc"),
            replacement + "abc");
  EXPECT_EQ(clean("caf\xC3"), "caf" + replacement);
  EXPECT_EQ(clean(" \x80 "), replacement);
  // A truncated three-byte sequence is one maximal ill-formed part: one replacement.
  EXPECT_EQ(clean("x\xE2\x82y"), "x" + replacement + "y");
  EXPECT_EQ(clean("\xC0\xAF"), replacement + replacement);
}

TEST(TextCleaning, validTextPassesUnchanged) {
  EXPECT_EQ(clean("ABCDEF12-3456-7890-ABCD-EF1234567890"), "ABCDEF12-3456-7890-ABCD-EF1234567890");
  EXPECT_EQ(clean("\xF0\x9F\x90\x88 cat"), "\xF0\x9F\x90\x88 cat");
  // Not normalised: a decomposed letter stays decomposed.
  EXPECT_EQ(clean("e\xCC\x81"), "e\xCC\x81");
}

// A UUID is read by the same rule as any text, only without a copy of it.
TEST(TextCleaning, uuidsAreWhatTheCleanedTextNames) {
  for (const auto& text :
       {"ABCDEF12-3456-7890-ABCD-EF1234567890"s, "  abcdef12-3456-7890-abcd-ef1234567890\n"s,
        "ABCDEF12-3456-7890-ABCD-EF1234567890\0tail"s, "\u00A0ODD\u2028"s, "\xC0\xAF"s, " \t"s,
        "\0ABCDEF12-3456-7890-ABCD-EF1234567890"s}) {
    const auto uuid = cleanedUuid(std::optional<std::string_view>(text));
    const auto expected = clean(text);
    EXPECT_EQ(uuid ? std::optional<std::string>(uuid->text()) : std::nullopt, expected) << text;
  }
  EXPECT_FALSE(cleanedUuid(std::nullopt).has_value());
}

}  // namespace
}  // namespace lumenfolio
