#include "metadata/unicode_text.hpp"

#include <gtest/gtest.h>

namespace lumenfolio {
namespace {

const std::string kPrecomposedE = "\u00E9";
const std::string kDecomposedE = "e\u0301";
const std::string kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";

TEST(UnicodeTextCanonicalEquivalence, precomposedAndDecomposedFormsShareOneKey) {
  EXPECT_EQ(UnicodeText::canonicalKey("Caf" + kDecomposedE), "Caf" + kPrecomposedE);
  EXPECT_EQ(UnicodeText::canonicalKey("Caf" + kPrecomposedE), "Caf" + kPrecomposedE);
  EXPECT_TRUE(UnicodeText::canonicallyEqual(kPrecomposedE, kDecomposedE));
}

TEST(UnicodeTextCanonicalEquivalence, differentLettersStayDifferent) {
  EXPECT_FALSE(UnicodeText::canonicallyEqual("e", kPrecomposedE));
  EXPECT_FALSE(UnicodeText::canonicallyEqual("Beach", "beach"));
  EXPECT_TRUE(UnicodeText::canonicallyEqual("beach", "beach"));
}

TEST(UnicodeTextCanonicalEquivalence, singletonDecompositionsCountAsTheirTarget) {
  // KELVIN SIGN is canonically a plain K, ANGSTROM SIGN an A with ring above.
  EXPECT_TRUE(UnicodeText::canonicallyEqual("\u212A", "K"));
  EXPECT_TRUE(UnicodeText::canonicallyEqual("\u212B", "\u00C5"));
}

TEST(UnicodeTextCanonicalEquivalence, marksInEitherOrderAreTheSameText) {
  // Dot below (class 220) and dot above (class 230) reorder under normalisation.
  EXPECT_TRUE(UnicodeText::canonicallyEqual("q\u0307\u0323", "q\u0323\u0307"));
}

TEST(UnicodeTextFolding, removesCaseAndAccents) {
  EXPECT_EQ(UnicodeText::folded("Caf" + kPrecomposedE), "cafe");
  EXPECT_EQ(UnicodeText::folded("Caf" + kDecomposedE), "cafe");
  EXPECT_EQ(UnicodeText::folded("CAFE"), "cafe");
  EXPECT_EQ(UnicodeText::folded("\u00C5NGSTR\u00D6M"), "angstrom");
  EXPECT_EQ(UnicodeText::folded("Cr\u00E8me Br\u00FBl\u00E9e"), "creme brulee");
}

TEST(UnicodeTextFolding, sharpSAndLigaturesFoldToTheirLetters) {
  EXPECT_EQ(UnicodeText::folded("Stra\u00DFe"), "strasse");
  EXPECT_EQ(UnicodeText::folded("\u1E9E"), "ss");
  EXPECT_EQ(UnicodeText::folded("\uFB01sh"), "fish");
}

TEST(UnicodeTextFolding, dottedCapitalILosesItsDotAndDotlessIStays) {
  EXPECT_EQ(UnicodeText::folded("\u0130stanbul"), "istanbul");
  EXPECT_EQ(UnicodeText::folded("\u0131"), "\u0131");
  EXPECT_EQ(UnicodeText::folded("I"), "i");
}

TEST(UnicodeTextFolding, kanaVoicingMarksCountAsAccents) {
  EXPECT_EQ(UnicodeText::folded("\u304C"), "\u304B");  // ga -> ka
}

TEST(UnicodeTextFolding, keepsSpacingVowelSignsAndComposedSyllables) {
  EXPECT_EQ(UnicodeText::folded("\u0915\u093E"), "\u0915\u093E");  // Devanagari kaa
  EXPECT_EQ(UnicodeText::folded("\uD55C\uAD6D"), "\uD55C\uAD6D");  // Hangul, still composed
}

TEST(UnicodeTextFolding, greekFinalSigmaAndCapitalsFoldAlike) {
  EXPECT_EQ(UnicodeText::folded("\u039F\u0394\u039F\u03A3"),
            UnicodeText::folded("\u03BF\u03B4\u03BF\u03C2"));
}

TEST(UnicodeTextCaseMapping, upperCasesUuidText) {
  EXPECT_EQ(UnicodeText::upper("0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d"),
            "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D");
}

TEST(UnicodeTextCaseMapping, upperCasesAUuidAsItsText) {
  for (const char* text :
       {"0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d", "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D",
        "0a1B2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d", "stra\u00DFe", "short"}) {
    const auto upper = UnicodeText::upperUuid(AssetUuid(text));
    EXPECT_EQ(upper.text(), UnicodeText::upper(text)) << text;
    EXPECT_EQ(upper, AssetUuid(UnicodeText::upper(text))) << text;
  }
}

TEST(UnicodeTextCaseMapping, usesFullMappingsWithoutALocale) {
  EXPECT_EQ(UnicodeText::upper("stra\u00DFe"), "STRASSE");
  EXPECT_EQ(UnicodeText::lower("\u00C0B"), "\u00E0b");
  EXPECT_EQ(UnicodeText::lower("I"), "i");
}

TEST(UnicodeTextGraphemes, countsAsciiCharacters) {
  EXPECT_EQ(UnicodeText::graphemeCount(""), 0u);
  EXPECT_EQ(UnicodeText::graphemeCount("abc"), 3u);
  EXPECT_EQ(UnicodeText::graphemeCount("a\r\nb"), 3u);
  EXPECT_EQ(UnicodeText::graphemeCount("\n\r"), 2u);
}

TEST(UnicodeTextGraphemes, combiningMarksJoinTheirBase) {
  EXPECT_EQ(UnicodeText::graphemeCount(kDecomposedE + "e"), 2u);
  EXPECT_EQ(UnicodeText::graphemeCount("a\u0301\u0302\u0303"), 1u);
}

TEST(UnicodeTextGraphemes, emojiSequencesAreOneCharacter) {
  EXPECT_EQ(UnicodeText::graphemeCount(kFamily), 1u);
  EXPECT_EQ(UnicodeText::graphemeCount("\U0001F1EB\U0001F1F7"), 1u);  // a flag
  EXPECT_EQ(UnicodeText::graphemeCount("\U0001F44D\U0001F3FD"), 1u);  // with skin tone
  EXPECT_EQ(UnicodeText::graphemeCount(kFamily + kFamily), 2u);
}

TEST(UnicodeTextGraphemes, hangulJamoFormOneSyllable) {
  EXPECT_EQ(UnicodeText::graphemeCount("\u1100\u1161\u11A8"), 1u);
}

TEST(UnicodeTextGraphemes, invalidBytesCountAsReplacementCharacters) {
  EXPECT_EQ(UnicodeText::graphemeCount("a\xFF\xFE"), 3u);
}

TEST(UnicodeTextFirstCharacters, cutsAfterWholeCharacters) {
  EXPECT_EQ(UnicodeText::firstCharacters("abcdef", 3), "abc");
  EXPECT_EQ(UnicodeText::firstCharacters("ab", 3), "ab");
  EXPECT_EQ(UnicodeText::firstCharacters("", 3), "");
  EXPECT_EQ(UnicodeText::firstCharacters("a\r\nbc", 2), "a\r\n");
  EXPECT_EQ(UnicodeText::firstCharacters("ab" + kDecomposedE + "x", 3), "ab" + kDecomposedE);
  EXPECT_EQ(UnicodeText::firstCharacters(kFamily + kFamily, 1), kFamily);
  EXPECT_EQ(UnicodeText::firstCharacters("\u00E9\u00E9\u00E9", 2), "\u00E9\u00E9");
}

TEST(UnicodeTextFirstCharacters, keepsEveryMarkOfAHostileLastCharacter) {
  // A UUID whose last letter carries 80,000 combining marks, then the
  // identifier's suffix: the cut keeps the whole letter and nothing after it.
  const std::string uuid = "0A1B2C3D-0000-4000-8000-00000000000";
  std::string marks;
  for (int i = 0; i < 80000; ++i) marks += "\u0301";
  const std::string hostile = uuid + "e" + marks;
  EXPECT_EQ(UnicodeText::firstCharacters(hostile + "/L0/001", 36), hostile);
  EXPECT_EQ(UnicodeText::firstCharacters(hostile, 36), hostile);
  EXPECT_EQ(UnicodeText::firstCharacters(hostile, 35), uuid);
  // Marks before the cut belong to earlier characters and are all kept too.
  const std::string early = "e" + marks + uuid;
  EXPECT_EQ(UnicodeText::firstCharacters(early + "xyz", 36), early);
}

TEST(UnicodeTextPrefix, matchesWholeCharacters) {
  EXPECT_TRUE(UnicodeText::hasCharacterPrefix("my family", "my "));
  EXPECT_TRUE(UnicodeText::hasCharacterPrefix("my ", "my "));
  EXPECT_FALSE(UnicodeText::hasCharacterPrefix("my", "my "));
  EXPECT_FALSE(UnicodeText::hasCharacterPrefix("myfamily", "my "));
  EXPECT_FALSE(UnicodeText::hasCharacterPrefix("My family", "my "));
}

TEST(UnicodeTextPrefix, aMarkOnThePrefixsLastCharacterBreaksTheMatch) {
  EXPECT_FALSE(UnicodeText::hasCharacterPrefix("my \u0301family", "my "));
  EXPECT_TRUE(UnicodeText::hasCharacterPrefix("my \u00E9l\u00E8ve", "my "));
}

}  // namespace
}  // namespace lumenfolio
