#include "metadata/search_terms.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "search_index_fixtures.hpp"

namespace lumenfolio {
namespace {

using testing::idBlob;
using testing::itemRow;
using testing::kLeoSchema;
using testing::kPsiSchema;
using testing::LexiconRow;
using testing::lexiconRows;
using testing::makeDatabase;
using testing::quoted;
using testing::TempDir;
using Terms = ByAssetUuid<std::string>;

// The keys of psi assets 1 and 2, whose halves are (1, 2) and (2, 2).
const std::string kFirstKey = "01000000-0000-0000-0200-000000000000";
const std::string kSecondKey = "02000000-0000-0000-0200-000000000000";
const std::string kItemKey = "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D";

// One psi row: a term (an SQL expression) of one category for asset 1 or 2.
struct PsiRow {
  int asset;
  int category;
  std::string term;
};

// Each row gets its own group; ga lists the rows in the given order.
std::string psiRows(const std::vector<PsiRow>& rows) {
  std::string sql = "INSERT INTO assets (rowid, uuid_0, uuid_1) VALUES (1, 1, 2), (2, 2, 2);\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto group = std::to_string(i + 1);
    sql += "INSERT INTO groups (rowid, category, normalized_string) VALUES (" + group + ", " +
           std::to_string(rows[i].category) + ", " + rows[i].term + ");\n";
    sql += "INSERT INTO ga (assetid, groupid) VALUES (" + std::to_string(rows[i].asset) + ", " +
           group + ");\n";
  }
  return sql;
}

std::vector<PsiRow> numberedTerms(int category, const std::string& prefix, int count) {
  std::vector<PsiRow> rows;
  for (int i = 0; i < count; ++i) rows.push_back({1, category, quoted(prefix + std::to_string(i))});
  return rows;
}

std::string joined(const std::vector<std::string>& terms) {
  std::string text;
  for (const auto& term : terms) text += (text.empty() ? "" : "\n") + term;
  return text;
}

class SearchTermsTest : public ::testing::Test {
 protected:
  SqliteDatabase psi(const std::string& rows) {
    return makeDatabase(temp, "psi.sqlite", kPsiSchema, rows);
  }
  SqliteDatabase leo(const std::string& rows) {
    return makeDatabase(temp, "leo.sqlite", kLeoSchema, rows);
  }
  Terms psiTerms(const std::vector<PsiRow>& rows) {
    const auto db = psi(psiRows(rows));
    return SearchTerms::read(&db, nullptr);
  }
  Terms leoTerms(const std::vector<LexiconRow>& lexicon, const std::string& items) {
    const auto db = leo(lexiconRows(lexicon) + items);
    return SearchTerms::read(nullptr, &db);
  }

  TempDir temp;
};

TEST(SearchTermsCompose, writesBothHalvesLeastSignificantByteFirst) {
  EXPECT_EQ(SearchTerms::compose(1, 2), kFirstKey);
  EXPECT_EQ(SearchTerms::compose(0x0123456789ABCDEF, 0), "EFCDAB89-6745-2301-0000-000000000000");
}

TEST(SearchTermsCompose, writesNegativeHalvesInTwosComplement) {
  EXPECT_EQ(SearchTerms::compose(-1, 0), "FFFFFFFF-FFFF-FFFF-0000-000000000000");
  EXPECT_EQ(SearchTerms::compose(INT64_MIN, -2), "00000000-0000-0080-FEFF-FFFFFFFFFFFF");
}

using SearchTermsSource = SearchTermsTest;

TEST_F(SearchTermsSource, psiIsReadWhenPresentEvenWhenItYieldsNothing) {
  const auto emptyPsi = psi("");
  const auto fullLeo =
      leo(lexiconRows({{1, 1000, "'beach'"}}) + itemRow(quoted(kItemKey), idBlob({1})));
  EXPECT_TRUE(SearchTerms::read(&emptyPsi, &fullLeo).empty());
  EXPECT_EQ(SearchTerms::read(nullptr, &fullLeo), (Terms{{kItemKey, "beach"}}));
}

TEST_F(SearchTermsSource, psiThatDoesNotCompileGivesNothingAndLeoIsNotTried) {
  const auto brokenPsi = makeDatabase(temp, "psi.sqlite", "CREATE TABLE other (x);", "");
  const auto fullLeo =
      leo(lexiconRows({{1, 1000, "'beach'"}}) + itemRow(quoted(kItemKey), idBlob({1})));
  EXPECT_TRUE(SearchTerms::read(&brokenPsi, &fullLeo).empty());
}

TEST_F(SearchTermsSource, noConnectionGivesNothing) {
  EXPECT_TRUE(SearchTerms::read(nullptr, nullptr).empty());
  const SqliteDatabase closed;
  EXPECT_TRUE(SearchTerms::read(&closed, &closed).empty());
}

using PsiSearchTerms = SearchTermsTest;

TEST_F(PsiSearchTerms, joinsTermsWithLineFeedsInTheOrderMet) {
  EXPECT_EQ(psiTerms({{1, 1000, "'Beach'"}, {2, 1000, "'Forest'"}, {1, 1100, "'Sunset'"}}),
            (Terms{{kFirstKey, "Beach\nSunset"}, {kSecondKey, "Forest"}}));
}

TEST_F(PsiSearchTerms, keysNegativeHalvesAsTwosComplement) {
  const auto db =
      psi("INSERT INTO assets (rowid, uuid_0, uuid_1) VALUES (1, -1, 0);"
          "INSERT INTO groups (rowid, category, normalized_string) VALUES (1, 1000, 'Beach');"
          "INSERT INTO ga (assetid, groupid) VALUES (1, 1);");
  EXPECT_EQ(SearchTerms::read(&db, nullptr),
            (Terms{{"FFFFFFFF-FFFF-FFFF-0000-000000000000", "Beach"}}));
}

TEST_F(PsiSearchTerms, aTermInTwoCategoriesStandsOnceWhereFirstMet) {
  EXPECT_EQ(psiTerms({{1, 1000, "'Beach'"}, {1, 1100, "'Sand'"}, {1, 1203, "'Beach'"}}),
            (Terms{{kFirstKey, "Beach\nSand"}}));
}

TEST_F(PsiSearchTerms, skipsCategories2100And2300) {
  EXPECT_EQ(psiTerms({{1, 2100, "'Paris'"}, {1, 2300, "'Louvre'"}, {1, 1000, "'Museum'"}}),
            (Terms{{kFirstKey, "Museum"}}));
}

TEST_F(PsiSearchTerms, anAssetWithOnlySkippedRowsHasNoEntry) {
  EXPECT_TRUE(psiTerms({{1, 2100, "'Paris'"}, {1, 1203, "'ab'"}, {1, 1000, "NULL"}}).empty());
}

TEST_F(PsiSearchTerms, keepsCaseAndAccentsAsStored) {
  EXPECT_EQ(psiTerms({{1, 1000, "'Beach'"}, {1, 1000, "'beach'"}, {1, 1000, "'Café'"}}),
            (Terms{{kFirstKey, "Beach\nbeach\nCaf\u00E9"}}));
}

TEST_F(PsiSearchTerms, canonicallyEquivalentTermsStandOnceAsFirstWritten) {
  EXPECT_EQ(psiTerms({{1, 1000, "'Cafe\u0301'"}, {1, 1100, "'Caf\u00E9'"}}),
            (Terms{{kFirstKey, "Cafe\u0301"}}));
}

TEST_F(PsiSearchTerms, cappedTermsNeedThreeCharacters) {
  EXPECT_EQ(psiTerms({{1, 1203, "'ab'"}, {1, 1203, "'abc'"}, {1, 1000, "'xy'"}}),
            (Terms{{kFirstKey, "abc\nxy"}}));
}

TEST_F(PsiSearchTerms, cappedTermLengthCountsCharactersNotCodePoints) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  EXPECT_EQ(psiTerms({{1, 1203, quoted("e\u0301e")},
                      {1, 1203, quoted(family)},
                      {1, 1203, quoted(family + family)},
                      {1, 1203, quoted("e\u0301e\u0301e\u0301")},
                      {1, 1203, quoted(family + family + family)}}),
            (Terms{{kFirstKey, "e\u0301e\u0301e\u0301\n" + family + family + family}}));
}

TEST_F(PsiSearchTerms, aTooShortCappedTermDoesNotHideTheSameTermElsewhere) {
  EXPECT_EQ(psiTerms({{1, 1203, "'ab'"}, {1, 1000, "'ab'"}}), (Terms{{kFirstKey, "ab"}}));
}

TEST_F(PsiSearchTerms, keepsTheFirst150CappedTermsAndAllOthers) {
  auto rows = numberedTerms(1000, "before", 5);
  const auto capped = numberedTerms(1203, "capped", 200);
  const auto after = numberedTerms(1100, "after", 5);
  rows.insert(rows.end(), capped.begin(), capped.end());
  rows.insert(rows.end(), after.begin(), after.end());

  std::vector<std::string> expected;
  for (int i = 0; i < 5; ++i) expected.push_back("before" + std::to_string(i));
  for (int i = 0; i < 150; ++i) expected.push_back("capped" + std::to_string(i));
  for (int i = 0; i < 5; ++i) expected.push_back("after" + std::to_string(i));
  EXPECT_EQ(psiTerms(rows), (Terms{{kFirstKey, joined(expected)}}));
}

TEST_F(PsiSearchTerms, repeatsStandOnceInAnAssetWithManyTerms) {
  auto rows = numberedTerms(1000, "term", 100);
  rows.push_back({1, 1100, "'term0'"});
  rows.push_back({1, 1100, "'term99'"});
  rows.push_back({1, 1100, "'last'"});
  std::vector<std::string> expected;
  for (int i = 0; i < 100; ++i) expected.push_back("term" + std::to_string(i));
  expected.push_back("last");
  EXPECT_EQ(psiTerms(rows), (Terms{{kFirstKey, joined(expected)}}));
}

TEST_F(PsiSearchTerms, theCapCountsPerAssetAndSparesOtherCategories) {
  auto rows = numberedTerms(1203, "capped", 151);
  rows.push_back({2, 1203, "'other asset'"});
  rows.push_back({1, 1000, "'capped150'"});
  const auto terms = psiTerms(rows);
  EXPECT_EQ(terms.at(kSecondKey), "other asset");
  EXPECT_EQ(terms.at(kFirstKey).substr(terms.at(kFirstKey).rfind('\n') + 1), "capped150");
}

TEST_F(PsiSearchTerms, anAssetWhoseRowsBeginAgainKeepsItsRepeatsAndItsCap) {
  auto rows = numberedTerms(1203, "capped", 150);
  rows.push_back({2, 1000, "'between'"});
  rows.push_back({1, 1000, "'capped0'"});    // taken before the break
  rows.push_back({1, 1203, "'capped150'"});  // past the cap
  rows.push_back({1, 1000, "'after'"});
  rows.push_back({2, 1000, "'between'"});
  rows.push_back({2, 1000, "'again'"});
  rows.push_back({1, 1000, "'after'"});
  std::vector<std::string> expected;
  for (int i = 0; i < 150; ++i) expected.push_back("capped" + std::to_string(i));
  expected.push_back("after");
  EXPECT_EQ(psiTerms(rows), (Terms{{kFirstKey, joined(expected)}, {kSecondKey, "between\nagain"}}));
}

TEST_F(PsiSearchTerms, rowsOfTwoAssetsTakenInTurnKeepEachAssetsOrderRepeatsAndCap) {
  std::vector<PsiRow> rows;
  std::vector<std::string> first;
  std::vector<std::string> second;
  for (int i = 0; i < 160; ++i) {
    const auto term = "term" + std::to_string(i % 155);  // the last five are repeats
    rows.push_back({1, 1203, quoted(term)});
    rows.push_back({2, 1000, quoted(term)});
    if (i < 150) first.push_back(term);
    if (i < 155) second.push_back(term);
  }
  EXPECT_EQ(psiTerms(rows), (Terms{{kFirstKey, joined(first)}, {kSecondKey, joined(second)}}));
}

TEST_F(PsiSearchTerms, cleansTerms) {
  EXPECT_EQ(psiTerms({{1, 1000, "'  Beach \n'"},
                      {1, 1000, "CAST(X'466F72657374004A554E4B' AS TEXT)"},  // Forest, NUL, junk
                      {1, 1000, "CAST(X'53756EFF' AS TEXT)"},                // Sun, invalid byte
                      {1, 1000, "CAST(X'00426F6174' AS TEXT)"},              // NUL first
                      {1, 1000, "' \t '"},
                      {1, 1000, "NULL"}}),
            (Terms{{kFirstKey, "Beach\nForest\nSun\uFFFD"}}));
}

TEST_F(PsiSearchTerms, readsTermsStoredAsNumbersOrBlobsAsText) {
  EXPECT_EQ(psiTerms({{1, 1000, "1984"}, {1, 1000, "X'536561'"}}),
            (Terms{{kFirstKey, "1984\nSea"}}));
}

using LeoSearchTerms = SearchTermsTest;

TEST_F(LeoSearchTerms, foldsCaseAndAccentsSoCafeStandsOnce) {
  EXPECT_EQ(leoTerms({{1, 1000, "'Café'"}, {2, 1000, "'cafe'"}, {3, 1000, "'BEACH'"}},
                     itemRow(quoted(kItemKey), idBlob({1, 2, 3}))),
            (Terms{{kItemKey, "cafe\nbeach"}}));
}

TEST_F(LeoSearchTerms, keysItemsByUpperCasedIdentifier) {
  EXPECT_EQ(leoTerms({{1, 1000, "'beach'"}},
                     itemRow("'0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d'", idBlob({1}))),
            (Terms{{kItemKey, "beach"}}));
}

TEST_F(LeoSearchTerms, keepsOnlyTermCategories) {
  EXPECT_EQ(leoTerms({{1, 999, "'a999'"},
                      {2, 1000, "'a1000'"},
                      {3, 4999, "'a4999'"},
                      {4, 5000, "'a5000'"},
                      {5, 6000, "'a6000'"},
                      {6, 7999, "'a7999'"},
                      {7, 8000, "'a8000'"},
                      {8, 11000, "'a11000'"},
                      {9, 11001, "'a11001'"}},
                     itemRow(quoted(kItemKey), idBlob({1, 2, 3, 4, 5, 6, 7, 8, 9}))),
            (Terms{{kItemKey, "a1000\na4999\na6000\na7999\na11000"}}));
}

TEST_F(LeoSearchTerms, cappedLexemesNeedThreeFoldedCharacters) {
  EXPECT_EQ(
      leoTerms({{1, 4120, "'ab'"}, {2, 4120, "'e\u0301e'"}, {3, 4120, "'ÉTÉ'"}, {4, 1000, "'xy'"}},
               itemRow(quoted(kItemKey), idBlob({1, 2, 3, 4}))),
      (Terms{{kItemKey, "ete\nxy"}}));
}

TEST_F(LeoSearchTerms, aLexemeOfAccentsAloneFoldsToNothingAndIsSkipped) {
  EXPECT_EQ(leoTerms({{1, 1000, quoted("\u0301\u0308")}, {1, 1000, "'later'"}},
                     itemRow(quoted(kItemKey), idBlob({1}))),
            (Terms{{kItemKey, "later"}}));
}

TEST_F(LeoSearchTerms, theFirstKeptRowOfAnIdWins) {
  EXPECT_EQ(
      leoTerms(
          {{5, 999, "'ignored'"}, {5, 4120, "'no'"}, {5, 1000, "'first'"}, {5, 1000, "'second'"}},
          itemRow(quoted(kItemKey), idBlob({5}))),
      (Terms{{kItemKey, "first"}}));
}

TEST_F(LeoSearchTerms, readsWholeIdsAndIgnoresTrailingBytes) {
  EXPECT_EQ(leoTerms({{1, 1000, "'one'"}, {2, 1000, "'two'"}, {3, 1000, "'three'"}},
                     itemRow(quoted(kItemKey), "X'01000000020000000300'")),
            (Terms{{kItemKey, "one\ntwo"}}));
}

TEST_F(LeoSearchTerms, readsIdsLittleEndian) {
  EXPECT_EQ(leoTerms({{0x01020304, 1000, "'right'"}, {0x04030201, 1000, "'wrong'"}},
                     itemRow(quoted(kItemKey), "X'04030201'")),
            (Terms{{kItemKey, "right"}}));
}

TEST_F(LeoSearchTerms, aLexemeNamedTwiceStandsOnce) {
  EXPECT_EQ(leoTerms({{1, 1000, "'beach'"}, {2, 1000, "'sand'"}},
                     itemRow(quoted(kItemKey), idBlob({1, 2, 1}))),
            (Terms{{kItemKey, "beach\nsand"}}));
}

TEST_F(LeoSearchTerms, keepsTheFirst150CappedTermsOfAnItemAndTakesTheTextsOfTheRest) {
  std::vector<LexiconRow> lexicon;
  std::string ids = "X'";
  std::vector<std::string> expected;
  for (std::uint32_t id = 1; id <= 160; ++id) {
    lexicon.push_back({id, 4120, quoted("word" + std::to_string(id))});
    ids += idBlob({id}).substr(2, 8);
    if (id <= 150) expected.push_back("word" + std::to_string(id));
  }
  lexicon.push_back({1000, 1000, "'uncapped'"});
  expected.push_back("uncapped");
  // A capped lexeme past the cap has still taken its text.
  lexicon.push_back({1001, 1000, "'WORD155'"});
  ids += idBlob({1000}).substr(2, 8) + idBlob({1001}).substr(2, 8) + "'";
  EXPECT_EQ(leoTerms(lexicon, itemRow(quoted(kItemKey), ids)),
            (Terms{{kItemKey, joined(expected)}}));
}

TEST_F(LeoSearchTerms, skipsIdsWithoutALexeme) {
  EXPECT_EQ(leoTerms({{1, 1000, "'beach'"}}, itemRow(quoted(kItemKey), idBlob({9, 1, 8}))),
            (Terms{{kItemKey, "beach"}}));
}

TEST_F(LeoSearchTerms, aLaterItemWithTheSameIdentifierReplacesTheEarlier) {
  EXPECT_EQ(leoTerms({{1, 1000, "'beach'"}, {2, 1000, "'forest'"}},
                     itemRow(quoted(kItemKey), idBlob({1})) +
                         itemRow("lower(" + quoted(kItemKey) + ")", idBlob({2}))),
            (Terms{{kItemKey, "forest"}}));
}

TEST_F(LeoSearchTerms, readsOnlyItemsOfTypeOne) {
  EXPECT_TRUE(leoTerms({{1, 1000, "'beach'"}}, itemRow(quoted(kItemKey), idBlob({1}), 2)).empty());
}

TEST_F(LeoSearchTerms, skipsItemsWithoutIdentifierBlobOrTerms) {
  EXPECT_TRUE(leoTerms({{1, 1000, "'beach'"}, {2, 999, "'other'"}},
                       itemRow("NULL", idBlob({1})) + itemRow("'  '", idBlob({1})) +
                           itemRow(quoted(kItemKey), "NULL") + itemRow(quoted(kItemKey), "X''") +
                           itemRow(quoted(kItemKey), "X'010000'") +
                           itemRow(quoted(kItemKey), idBlob({2})))
                  .empty());
}

TEST_F(LeoSearchTerms, skipsLexemeIdsOutsideTheUnsigned32BitRange) {
  // 2^32 would wrap to 0 and 2^32 + 1 to 1 if the ids were cut to 32 bits.
  EXPECT_EQ(leoTerms({{-1, 1000, "'negative'"},
                      {4294967296, 1000, "'wrapped'"},
                      {4294967297, 1000, "'wrapped too'"},
                      {4294967295, 1000, "'largest'"},
                      {1, 1000, "'one'"}},
                     itemRow(quoted(kItemKey), idBlob({0, 0xFFFFFFFF, 1}))),
            (Terms{{kItemKey, "largest\none"}}));
}

TEST_F(LeoSearchTerms, cleansLexiconTextsAndIdentifiers) {
  EXPECT_EQ(leoTerms({{1, 1000, "CAST(X'4265616368005A5A' AS TEXT)"},  // Beach, NUL, junk
                      {2, 1000, "CAST(X'436166C3' AS TEXT)"},          // a cut-off é
                      {3, 1000, "CAST(X'0041' AS TEXT)"},              // NUL first
                      {4, 1000, "NULL"},
                      {5, 1000, "' Sand\t'"}},
                     itemRow("' " + kItemKey + "\n'", idBlob({1, 2, 3, 4, 5}))),
            (Terms{{kItemKey, "beach\ncaf\uFFFD\nsand"}}));
}

TEST_F(LeoSearchTerms, aMissingOrMisshapenTableGivesNothing) {
  const auto noItems = makeDatabase(temp, "no-items.sqlite",
                                    "CREATE TABLE lexicon (pk INTEGER PRIMARY KEY, lexeme_id, "
                                    "category, content);",
                                    "INSERT INTO lexicon VALUES (1, 1, 1000, 'beach');");
  EXPECT_TRUE(SearchTerms::read(nullptr, &noItems).empty());

  const auto noContent = makeDatabase(
      temp, "no-content.sqlite",
      "CREATE TABLE lexicon (pk INTEGER PRIMARY KEY, lexeme_id, category);"
      "CREATE TABLE items (identifier, lexeme_ids, type);",
      "INSERT INTO lexicon VALUES (1, 1, 1000);" + itemRow(quoted(kItemKey), idBlob({1})));
  EXPECT_TRUE(SearchTerms::read(nullptr, &noContent).empty());

  const auto noType =
      makeDatabase(temp, "no-type.sqlite",
                   "CREATE TABLE lexicon (pk INTEGER PRIMARY KEY, lexeme_id, category, content);"
                   "CREATE TABLE items (identifier, lexeme_ids);",
                   "INSERT INTO lexicon VALUES (1, 1, 1000, 'beach');"
                   "INSERT INTO items VALUES (" +
                       quoted(kItemKey) + ", " + idBlob({1}) + ");");
  EXPECT_TRUE(SearchTerms::read(nullptr, &noType).empty());

  const auto noLexicon =
      makeDatabase(temp, "no-lexicon.sqlite", "CREATE TABLE items (identifier, lexeme_ids, type);",
                   itemRow(quoted(kItemKey), idBlob({1})));
  EXPECT_TRUE(SearchTerms::read(nullptr, &noLexicon).empty());
}

TEST_F(LeoSearchTerms, oddlyTypedColumnsAreReadAsTheyConvert) {
  // A text lexeme id or category converts as SQLite converts it; a text blob is its bytes.
  EXPECT_EQ(
      leoTerms({{1, 1000, "'one'"}},
               "INSERT INTO lexicon (lexeme_id, category, content) VALUES ('2', '1000', 'two');" +
                   itemRow(quoted(kItemKey), "CAST(X'0200000001000000' AS TEXT)")),
      (Terms{{kItemKey, "two\none"}}));
}

}  // namespace
}  // namespace lumenfolio
