#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sync/sync_file.hpp"

namespace lumenfolio {
namespace {

// SHA-256 of the bytes named in each test, worked out independently.
constexpr const char* kSha256OfNothing =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr const char* kSha256OfAbc =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr const char* kSha256OfALineFeedB =
    "7e18f737311b2dc3b2f269dd78396b0351f14fb66efa879f768cb23181883c78";
constexpr const char* kSha256OfALineFeedA =
    "99b4ae0e261695ce9cb3912cdb821b687ad3ee28746333d2c49c9a141576d800";
constexpr const char* kSha256OfA =
    "ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb";
constexpr const char* kSha256OfPrecomposedE =
    "4a99557e4033c3539de2eb65472017cad5f9557f7a0625a09f1c3f6e2ba69c4c";
constexpr const char* kSha256OfDecomposedE =
    "bf12767b0f2a56b2190075bae8169f656e3ce8d6357d4aff184bc6c7ea48f9f6";
constexpr const char* kSha256OfFLineFeedDecomposedE =
    "5497e8a6e3c3287e1474f851209f70aa2798e1ac3fd19afb16dd9c6315ea76f6";
constexpr const char* kSha256OfALineFeedAb =
    "05a1570956b67cbfdbb1634e7e82eac3190faad5f24559fee4c7d9fa74f65c50";
constexpr const char* kSha256OfUpperBLineFeedA =
    "52958ed70d5d066708f7e77ec157d5df490e3f1a597fa14d0d41b513824564b6";
// U+FF21 FULLWIDTH LATIN CAPITAL LETTER A, a line feed, U+1F600 GRINNING FACE.
constexpr const char* kSha256OfFullwidthALineFeedGrin =
    "da0f3b7eb34f7f408bbd962898e380d394caeaf7f72678df8dec4c4dbfa2a878";

const std::string kPrecomposedE = "\xC3\xA9";  // U+00E9
const std::string kDecomposedE = "e\xCC\x81";  // U+0065 U+0301
const std::string kFullwidthA = "\xEF\xBC\xA1";
const std::string kGrin = "\xF0\x9F\x98\x80";

TEST(SyncFileKey, ofAnEmptyListIsTheDigestOfNoBytes) {
  EXPECT_EQ(SyncFile::key({}), kSha256OfNothing);
}

TEST(SyncFileKey, ofOneTextIsTheDigestOfThatText) {
  EXPECT_EQ(SyncFile::key({"abc"}), kSha256OfAbc);
  EXPECT_EQ(SyncFile::key({"a"}), kSha256OfA);
}

TEST(SyncFileKey, doesNotDependOnTheOrderOfTheTexts) {
  EXPECT_EQ(SyncFile::key({"a", "b"}), kSha256OfALineFeedB);
  EXPECT_EQ(SyncFile::key({"b", "a"}), kSha256OfALineFeedB);
  const std::vector<std::string> texts = {"zeta", "alpha", "Mu", "mu", "", "alpha2"};
  const std::vector<std::string> shuffled = {"alpha2", "mu", "", "zeta", "Mu", "alpha"};
  EXPECT_EQ(SyncFile::key(texts), SyncFile::key(shuffled));
}

TEST(SyncFileKey, countsDuplicates) {
  EXPECT_EQ(SyncFile::key({"a", "a"}), kSha256OfALineFeedA);
  EXPECT_NE(SyncFile::key({"a", "a"}), SyncFile::key({"a"}));
}

TEST(SyncFileKey, textHoldingALineFeedJoinsLikeTwoTexts) {
  EXPECT_EQ(SyncFile::key({"a\nb"}), SyncFile::key({"a", "b"}));
}

TEST(SyncFileKey, coversTheBytesOfTheTextsAsGiven) {
  // A row whose text changes only its normal form is a changed row.
  EXPECT_EQ(SyncFile::key({kDecomposedE}), kSha256OfDecomposedE);
  EXPECT_EQ(SyncFile::key({kPrecomposedE}), kSha256OfPrecomposedE);
}

TEST(SyncFileKey, ordersTextsByTheirComposedForm) {
  // Composed, e with acute (U+00E9) sorts after f, though its decomposed bytes start with e.
  EXPECT_EQ(SyncFile::key({kDecomposedE, "f"}), kSha256OfFLineFeedDecomposedE);
  EXPECT_EQ(SyncFile::key({"f", kDecomposedE}), kSha256OfFLineFeedDecomposedE);
}

TEST(SyncFileKey, canonicallyEqualTextsStillGiveOneKeyInAnyOrder) {
  const auto key = SyncFile::key({kPrecomposedE, kDecomposedE});
  EXPECT_EQ(SyncFile::key({kDecomposedE, kPrecomposedE}), key);
  EXPECT_NE(SyncFile::key({kPrecomposedE, kPrecomposedE}), key);
  EXPECT_NE(SyncFile::key({kDecomposedE, kDecomposedE}), key);
}

TEST(SyncFileKey, sortsByUnicodeScalarValues) {
  // A prefix sorts first, and upper-case ASCII before lower-case.
  EXPECT_EQ(SyncFile::key({"ab", "a"}), kSha256OfALineFeedAb);
  EXPECT_EQ(SyncFile::key({"a", "B"}), kSha256OfUpperBLineFeedA);
  // U+FF21 comes before U+1F600, though UTF-16 code units would order them the other way.
  EXPECT_EQ(SyncFile::key({kGrin, kFullwidthA}), kSha256OfFullwidthALineFeedGrin);
}

TEST(SyncFileKey, isAlwaysSixtyFourLowercaseHexDigits) {
  const std::vector<std::vector<std::string>> inputs = {
      {}, {""}, {"a"}, {kGrin, kDecomposedE}, {std::string(10000, 'x'), "y"}};
  for (const auto& input : inputs) {
    const auto key = SyncFile::key(input);
    EXPECT_EQ(key.size(), 64u);
    EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos) << key;
  }
}

}  // namespace
}  // namespace lumenfolio
