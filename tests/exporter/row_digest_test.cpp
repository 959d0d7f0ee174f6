#include "exporter/row_digest.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "exporter/digest_line.hpp"

namespace lumenfolio {
namespace {

std::string keyOfLines(const std::vector<SyncFile::Features>& rows) {
  std::vector<std::string> lines;
  for (const auto& row : rows) lines.push_back(DigestLine::of(row));
  return SyncFile::key(lines);
}

// Rows whose identifiers share beginnings, repeat, and hold characters that
// sort on both sides of the separator, with texts in either normal form.
class RandomRows {
 public:
  RandomRows(std::uint32_t seed, std::vector<std::string> identifiers)
      : random_(seed), identifiers_(std::move(identifiers)) {}

  std::vector<SyncFile::Features> next(std::size_t count) {
    std::vector<SyncFile::Features> rows(count);
    for (auto& row : rows) {
      row.assetID = pick(identifiers_);
      row.sharpness = static_cast<double>(random_() % 4) / 2;
      row.faces = static_cast<int>(random_() % 3);
      row.isScreenshot = random_() % 2 == 0;
      if (random_() % 2 == 0) row.measures = {static_cast<std::uint8_t>(random_() % 256)};
      row.terms = pick(kTexts);
      row.panel = pick(kTexts);
    }
    return rows;
  }

 private:
  inline static const std::vector<std::string> kTexts = {
      "", "beach", "caf\u00e9", "cafe\u0301", "\u00e9t\u00e9", "e\u0301te\u0301", "a\nb", "|", "~"};

  const std::string& pick(const std::vector<std::string>& list) {
    return list[random_() % list.size()];
  }

  std::mt19937 random_;
  std::vector<std::string> identifiers_;
};

const std::vector<std::string> kPlainIdentifiers = {
    "", "a", "ab", "a-", "a}", "a~", "a{", "b", "B", "aa", "a\x01", "cloud-7", "cloud-70"};

TEST(RowDigest, equalsTheKeyOfTheDigestLines) {
  for (const std::uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
    RandomRows random(seed, kPlainIdentifiers);
    for (const std::size_t count : {0u, 1u, 2u, 5u, 40u, 300u}) {
      const auto rows = random.next(count);
      ASSERT_EQ(RowDigest::of(rows), keyOfLines(rows)) << "seed " << seed << ", " << count;
    }
  }
}

TEST(RowDigest, equalsTheKeyForIdentifiersThatAreNotPlainText) {
  auto identifiers = kPlainIdentifiers;
  identifiers.insert(identifiers.end(), {"a|", "a|b", "\u00e9", "e\u0301", "Z\u00fcrich"});
  for (const std::uint32_t seed : {6u, 7u, 8u}) {
    RandomRows random(seed, identifiers);
    const auto rows = random.next(200);
    ASSERT_EQ(RowDigest::of(rows), keyOfLines(rows)) << "seed " << seed;
  }
}

// Identifiers of seven to ten bytes that share their first eight, or all but
// their last, with bytes on both sides of the separator and NUL bytes.
TEST(RowDigest, equalsTheKeyForIdentifiersThatShareTheirFirstEightBytes) {
  const std::vector<std::string> identifiers = {"ABCDEFG",
                                                "ABCDEFGH",
                                                "ABCDEFGH{",
                                                "ABCDEFGH}",
                                                "ABCDEFGH~",
                                                "ABCDEFGH-1",
                                                "ABCDEFGH-2",
                                                "ABCDEFGH-",
                                                "ABCDEFGHI",
                                                "ABCDEFG{",
                                                "ABCDEFG}",
                                                "ABCDEFGI",
                                                "ABCDEFGHIJ",
                                                "ABCDEFGHIj",
                                                "ABCDEFG",
                                                "ABCDEFG\0",
                                                "ABCDEFGH\0",
                                                std::string("ABCDEFG\0\0", 9),
                                                std::string("ABCDEFGH\0x", 10)};
  for (const std::uint32_t seed : {10u, 11u, 12u}) {
    RandomRows random(seed, identifiers);
    const auto rows = random.next(150);
    ASSERT_EQ(RowDigest::of(rows), keyOfLines(rows)) << "seed " << seed;
  }
}

// The lines of a large library reach the hash in blocks of about a megabyte;
// a line that crosses from one block into the next, or is longer than a
// whole block, must count once, with one line feed before it.
TEST(RowDigest, equalsTheKeyForLinesThatCrossBlocks) {
  RandomRows random(13, kPlainIdentifiers);
  for (const auto& [count, length] : {std::pair{3000U, 1000U}, std::pair{5U, 1'500'000U}}) {
    auto rows = random.next(count);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      rows[i].assetID = "asset-" + std::to_string(i);
      rows[i].terms = std::string(length + i, static_cast<char>('a' + i % 26));
    }
    ASSERT_EQ(RowDigest::of(rows), keyOfLines(rows)) << length;
  }
}

TEST(RowDigest, doesNotDependOnTheOrderOfTheRows) {
  RandomRows random(9, kPlainIdentifiers);
  auto rows = random.next(100);
  const auto digest = RowDigest::of(rows);
  std::reverse(rows.begin(), rows.end());
  EXPECT_EQ(RowDigest::of(rows), digest);
}

}  // namespace
}  // namespace lumenfolio
