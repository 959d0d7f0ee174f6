#include "metadata/panels.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "search_index_fixtures.hpp"
#include "support/asset_metadata_decoding.hpp"

namespace lumenfolio {
namespace {

using testing::idBlob;
using testing::itemRow;
using testing::kCameraSchema;
using testing::kLeoSchema;
using testing::LexiconRow;
using testing::lexiconRows;
using testing::makeDatabase;
using testing::quoted;
using testing::TempDir;
using Records = std::unordered_map<std::string, AssetMetadata>;

// The panels as records, each read back from the text the reader gave.
Records decoded(const ByAssetUuid<std::string>& texts) {
  Records result;
  for (const auto& [key, text] : texts) {
    const auto record = testing::decodedAssetMetadata(text);
    EXPECT_TRUE(record) << key << ": " << text;
    if (record) result.emplace(key.text(), *record);
  }
  return result;
}

const std::string kKey = "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D";
const std::string kLowerKey = "0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d";
const std::string kOtherKey = "11111111-2222-3333-4444-555555555555";

// One extended-attributes row for asset `uuid` (an SQL expression); the seven
// camera columns are SQL expressions too, NULL unless given.
struct CameraRow {
  std::string uuid;
  std::string camera = "NULL";
  std::string lens = "NULL";
  std::string iso = "NULL";
  std::string aperture = "NULL";
  std::string shutter = "NULL";
  std::string focal = "NULL";
  std::string flash = "NULL";
};

std::string cameraRows(const std::vector<CameraRow>& rows) {
  std::string sql;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    const auto pk = std::to_string(i + 1);
    sql += "INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (" + pk + ", " + row.uuid + ");\n";
    sql +=
        "INSERT INTO ZEXTENDEDATTRIBUTES (ZASSET, ZCAMERAMODEL, ZLENSMODEL, ZISO, ZAPERTURE, "
        "ZSHUTTERSPEED, ZFOCALLENGTH, ZFLASHFIRED) VALUES (" +
        pk + ", " + row.camera + ", " + row.lens + ", " + row.iso + ", " + row.aperture + ", " +
        row.shutter + ", " + row.focal + ", " + row.flash + ");\n";
  }
  return sql;
}

std::vector<LexiconRow> numberedLexemes(std::uint32_t firstId, int category,
                                        const std::string& prefix, int count) {
  std::vector<LexiconRow> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({firstId + i, category, quoted(prefix + std::to_string(i))});
  }
  return rows;
}

std::string idRange(std::uint32_t first, int count) {
  std::string blob = "X'";
  for (int i = 0; i < count; ++i) blob += idBlob({first + i}).substr(2, 8);
  return blob + "'";
}

class PanelsTest : public ::testing::Test {
 protected:
  SqliteDatabase leo(const std::vector<LexiconRow>& lexicon, const std::string& items) {
    // Numbered, so that one test can build several.
    const auto name = "leo-" + std::to_string(++databases) + ".sqlite";
    return makeDatabase(temp, name, kLeoSchema, lexiconRows(lexicon) + items);
  }
  SqliteDatabase library(const std::vector<CameraRow>& rows) {
    return makeDatabase(temp, "Photos.sqlite", kCameraSchema, cameraRows(rows));
  }
  // The panels of one item (kKey) naming `ids`.
  Records lexemePanels(const std::vector<LexiconRow>& lexicon, const std::string& ids) {
    const auto db = leo(lexicon, itemRow(quoted(kKey), ids));
    return decoded(Panels::read(&db, nullptr));
  }
  AssetMetadata lexemePanel(const std::vector<LexiconRow>& lexicon, const std::string& ids) {
    const auto records = lexemePanels(lexicon, ids);
    EXPECT_EQ(records.size(), 1u);
    return records.contains(kKey) ? records.at(kKey) : AssetMetadata();
  }
  Records cameraPanels(const std::vector<CameraRow>& rows) {
    const auto db = library(rows);
    return decoded(Panels::read(nullptr, &db));
  }

  TempDir temp;
  int databases = 0;
};

using PanelLexemes = PanelsTest;

TEST_F(PanelLexemes, fileEachCategoryUnderItsField) {
  const auto record = lexemePanel({{1, 3000, "'Anna'"},
                                   {2, 3010, "'Rex'"},
                                   {3, 2010, "'Paris'"},
                                   {4, 4000, "'Beach'"},
                                   {5, 4010, "'Sunset'"},
                                   {6, 1030, "'Birthday'"},
                                   {7, 2240, "'Holiday'"},
                                   {8, 4090, "'Wedding'"},
                                   {9, 4120, "'waves'"},
                                   {10, 6000, "'iPhone 15'"}},
                                  idBlob({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  AssetMetadata expected;
  expected.people = {"Anna"};
  expected.pets = {"Rex"};
  expected.place = {"Paris"};
  expected.scenes = {"Beach", "Sunset"};
  expected.occasion = {"Birthday", "Holiday", "Wedding"};
  expected.words = {"waves"};
  expected.camera = "iPhone 15";
  EXPECT_EQ(record, expected);
}

TEST_F(PanelLexemes, otherCategoriesGiveNothing) {
  EXPECT_TRUE(lexemePanels({{1, 1000, "'Beach'"}, {2, 3020, "'Anna'"}, {3, 2230, "'Paris'"}},
                           idBlob({1, 2, 3}))
                  .empty());
}

TEST_F(PanelLexemes, peopleLeaveOutGenericWordsAndMyLabels) {
  const auto record = lexemePanel({{1, 3000, "'Anna'"},
                                   {2, 3000, "'People'"},
                                   {3, 3000, "'My Family'"},
                                   {4, 3000, "'PERSON'"},
                                   {5, 3000, "'Myra'"},
                                   {6, 3000, "'my'"}},
                                  idBlob({1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(record.people, (std::vector<std::string>{"Anna", "Myra", "my"}));
}

TEST_F(PanelLexemes, petsLeaveOutTheSameWords) {
  const auto record = lexemePanel(
      {{1, 3010, "'Animals'"}, {2, 3010, "'People'"}, {3, 3010, "'my cat'"}, {4, 3010, "'Rex'"}},
      idBlob({1, 2, 3, 4}));
  EXPECT_EQ(record.pets, (std::vector<std::string>{"Rex"}));
}

TEST_F(PanelLexemes, placesStandInRankOrder) {
  const auto record = lexemePanel(
      {{1, 2160, "'Street'"}, {2, 2220, "'Landmark'"}, {3, 2060, "'City'"}}, idBlob({1, 2, 3}));
  EXPECT_EQ(record.place, (std::vector<std::string>{"Landmark", "City", "Street"}));
}

TEST_F(PanelLexemes, placesOfEqualRankKeepTheirOrderAndAPlaceStandsOnceAtItsBestRank) {
  const auto record = lexemePanel({{1, 2030, "'Paris'"},
                                   {2, 2010, "'Montmartre'"},
                                   {3, 2010, "'Louvre'"},
                                   {4, 4020, "'Paris'"}},
                                  idBlob({1, 2, 3, 4}));
  EXPECT_EQ(record.place, (std::vector<std::string>{"Montmartre", "Louvre", "Paris"}));
}

TEST_F(PanelLexemes, keepsTheFirst60WordsOfThreeCharactersOrMore) {
  auto lexicon = numberedLexemes(100, 4120, "word", 70);
  lexicon.push_back({1, 4120, "'ab'"});
  const auto record = lexemePanel(lexicon, idBlob({1}).substr(0, 10) + idRange(100, 70).substr(2));
  ASSERT_EQ(record.words.size(), 60u);
  EXPECT_EQ(record.words.front(), "word0");
  EXPECT_EQ(record.words.back(), "word59");
}

TEST_F(PanelLexemes, wordsLoseRepeatsBeforeTheCut) {
  auto lexicon = numberedLexemes(100, 4120, "word", 70);
  lexicon.push_back({1, 4120, "'word0'"});
  const auto ids = idRange(100, 1) + " || " + idRange(1, 1) + " || " + idRange(101, 69);
  const auto db = leo(lexicon, itemRow(quoted(kKey), ids));
  const auto record = decoded(Panels::read(&db, nullptr)).at(kKey);
  ASSERT_EQ(record.words.size(), 60u);
  EXPECT_EQ(record.words.back(), "word59");
}

TEST_F(PanelLexemes, wordLengthCountsCharacters) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  const auto record = lexemePanel({{1, 4120, quoted("e\u0301e")},
                                   {2, 4120, quoted(family + family)},
                                   {3, 4120, quoted("e\u0301e\u0301e\u0301")}},
                                  idBlob({1, 2, 3}));
  EXPECT_EQ(record.words, (std::vector<std::string>{"e\u0301e\u0301e\u0301"}));
}

TEST_F(PanelLexemes, listsLoseRepeatsCountingCanonicalFormsAsOne) {
  const auto record = lexemePanel({{1, 4000, quoted("Caf\u00E9")},
                                   {2, 4010, quoted("Cafe\u0301")},
                                   {3, 3000, "'Anna'"},
                                   {4, 3000, "'Anna'"},
                                   {5, 4000, "'beach'"},
                                   {6, 4000, "'Beach'"}},
                                  idBlob({1, 2, 3, 4, 3, 5, 6}));
  EXPECT_EQ(record.scenes, (std::vector<std::string>{"Caf\u00E9", "beach", "Beach"}));
  EXPECT_EQ(record.people, (std::vector<std::string>{"Anna"}));
}

TEST_F(PanelLexemes, theFirstCameraLexemeWins) {
  const auto record =
      lexemePanel({{1, 6000, "'Canon EOS R5'"}, {2, 6000, "'Nikon Z6'"}}, idBlob({2, 1}));
  EXPECT_EQ(record.camera, "Nikon Z6");
}

TEST_F(PanelLexemes, theFirstRowOfAnIdHoldsItEvenAsAPlaceholder) {
  EXPECT_TRUE(lexemePanels({{7, 12, "'Anna'"}, {7, 3000, "'Anna'"}}, idBlob({7})).empty());
  EXPECT_TRUE(lexemePanels({{8, 3000, "NULL"}, {8, 3000, "'Ben'"}}, idBlob({8})).empty());
  EXPECT_EQ(lexemePanel({{9, 3000, "'Cleo'"}, {9, 3000, "'Dora'"}}, idBlob({9})).people,
            (std::vector<std::string>{"Cleo"}));
}

TEST_F(PanelLexemes, anItemOfPlaceholdersAndUnknownIdsHasNoEntry) {
  EXPECT_TRUE(lexemePanels({{1, 12, "'x'"}, {2, 3000, "'   '"}}, idBlob({1, 2, 3})).empty());
}

TEST_F(PanelLexemes, keysByUpperCasedIdentifierAndTheLastNonEmptyItemWins) {
  const auto db = leo({{1, 3000, "'Anna'"}, {2, 3000, "'Ben'"}, {3, 12, "'x'"}},
                      itemRow(quoted(kKey), idBlob({1})) + itemRow(quoted(kLowerKey), idBlob({2})) +
                          itemRow(quoted(kLowerKey), idBlob({3})));
  const auto records = decoded(Panels::read(&db, nullptr));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.at(kKey).people, (std::vector<std::string>{"Ben"}));
}

TEST_F(PanelLexemes, readsOnlyItemsOfTypeOne) {
  const auto db = leo({{1, 3000, "'Anna'"}}, itemRow(quoted(kKey), idBlob({1}), 0));
  EXPECT_TRUE(decoded(Panels::read(&db, nullptr)).empty());
}

TEST_F(PanelLexemes, toleratesOddTextsBlobsAndIds) {
  const auto db = leo({{-1, 3000, "'Negative'"},
                       {4294967296, 3000, "'Wrapped'"},
                       {1, 3000, "CAST(X'416E6E6100426F62' AS TEXT)"},  // Anna, NUL, Bob
                       {2, 3010, "CAST(X'526578FF' AS TEXT)"},          // Rex, invalid byte
                       {3, 4000, "CAST(X'00' AS TEXT)"}},
                      itemRow(quoted(kKey), idBlob({0, 1, 2, 3}) + " || X'0102'") +
                          itemRow(quoted(kOtherKey), "NULL") + itemRow("NULL", idBlob({1})) +
                          itemRow(quoted(kOtherKey), "X''"));
  const auto records = decoded(Panels::read(&db, nullptr));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.at(kKey).people, (std::vector<std::string>{"Anna"}));
  EXPECT_EQ(records.at(kKey).pets, (std::vector<std::string>{"Rex\uFFFD"}));
  EXPECT_TRUE(records.at(kKey).scenes.empty());
}

using PanelCameraDetails = PanelsTest;

TEST_F(PanelCameraDetails, readsAllSevenColumns) {
  const auto records = cameraPanels(
      {{quoted(kKey), "'iPhone 15 Pro'", "'Main Camera'", "100", "1.78", "0.008", "6.86", "1"}});
  AssetMetadata expected;
  expected.camera = "iPhone 15 Pro";
  expected.lens = "Main Camera";
  expected.iso = 100;
  expected.aperture = 1.78;
  expected.shutter = 0.008;
  expected.focalLength = 6.86;
  expected.flash = true;
  EXPECT_EQ(records, (Records{{kKey, expected}}));
}

TEST_F(PanelCameraDetails, aRowOfNullsGivesNoEntry) {
  EXPECT_TRUE(cameraPanels({{quoted(kKey)}, {quoted(kOtherKey), "'  '", "''"}}).empty());
}

TEST_F(PanelCameraDetails, zeroIsAValue) {
  const auto records =
      cameraPanels({{.uuid = quoted(kKey), .iso = "0", .aperture = "0", .flash = "0"}});
  ASSERT_TRUE(records.contains(kKey));
  const auto& record = records.at(kKey);
  EXPECT_EQ(record.iso, 0);
  EXPECT_EQ(record.aperture, 0.0);
  EXPECT_EQ(record.flash, false);
  EXPECT_FALSE(record.camera.has_value());
}

TEST_F(PanelCameraDetails, anyNonZeroFlashHasFired) {
  const auto records = cameraPanels({{.uuid = quoted(kKey), .flash = "16"}});
  EXPECT_EQ(records.at(kKey).flash, true);
}

TEST_F(PanelCameraDetails, storesLowerCaseUuidsUpperCased) {
  const auto records = cameraPanels({{.uuid = quoted(" " + kLowerKey + "\n"), .iso = "50"}});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.at(kKey).iso, 50);
}

TEST_F(PanelCameraDetails, skipsRowsWithoutUuid) {
  EXPECT_TRUE(cameraPanels({{.uuid = "NULL", .iso = "50"}, {.uuid = "'  '", .iso = "50"}}).empty());
}

TEST_F(PanelCameraDetails, cleansTexts) {
  const auto records = cameraPanels({{.uuid = quoted(kKey),
                                      .camera = "CAST(X'2043616E6F6E0052' AS TEXT)",
                                      .lens = "CAST(X'4C656E73FE' AS TEXT)"}});
  EXPECT_EQ(records.at(kKey).camera, "Canon");
  EXPECT_EQ(records.at(kKey).lens, "Lens\uFFFD");
}

TEST_F(PanelCameraDetails, anAssetWithoutExtendedAttributesHasNoEntry) {
  const auto db =
      makeDatabase(temp, "Photos.sqlite", kCameraSchema,
                   "INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, " + quoted(kKey) +
                       ");\nINSERT INTO ZEXTENDEDATTRIBUTES (ZASSET, ZISO) VALUES (2, 5);");
  EXPECT_TRUE(decoded(Panels::read(nullptr, &db)).empty());
}

class PanelSources : public PanelsTest {
 protected:
  Records both(const std::vector<LexiconRow>& lexicon, const std::vector<CameraRow>& cameras) {
    const auto leoDb = leo(lexicon, itemRow(quoted(kLowerKey), idBlob({1, 2, 3})));
    const auto libraryDb = library(cameras);
    return decoded(Panels::read(&leoDb, &libraryDb));
  }
};

TEST_F(PanelSources, theLibrarysCameraModelReplacesALexemeCamera) {
  const auto records = both({{1, 6000, "'Canon EOS R5'"}, {2, 6000, "'Nikon Z6'"}},
                            {{.uuid = quoted(kKey), .camera = "'iPhone 15 Pro'"}});
  EXPECT_EQ(records.at(kKey).camera, "iPhone 15 Pro");
}

TEST_F(PanelSources, aLexemeCameraStandsWhenTheLibraryHasNone) {
  const auto records = both({{1, 6000, "'Canon EOS R5'"}, {2, 6000, "'Nikon Z6'"}},
                            {{.uuid = quoted(kKey), .camera = "'  '", .iso = "200"}});
  EXPECT_EQ(records.at(kKey).camera, "Canon EOS R5");
  EXPECT_EQ(records.at(kKey).iso, 200);
}

TEST_F(PanelSources, anAssetInBothSourcesGetsOneRecordWithBoth) {
  const auto records = both({{1, 3000, "'Anna'"}, {2, 4000, "'Beach'"}},
                            {{.uuid = quoted(kLowerKey), .lens = "'Wide'", .flash = "0"},
                             {.uuid = quoted(kOtherKey), .iso = "400"}});
  AssetMetadata expected;
  expected.people = {"Anna"};
  expected.scenes = {"Beach"};
  expected.lens = "Wide";
  expected.flash = false;
  AssetMetadata other;
  other.iso = 400;
  EXPECT_EQ(records, (Records{{kKey, expected}, {kOtherKey, other}}));
}

TEST_F(PanelSources, aBrokenLeoLeavesTheCameraDetails) {
  const auto noItems = makeDatabase(temp, "leo.sqlite",
                                    "CREATE TABLE lexicon (pk, lexeme_id, "
                                    "category, content);",
                                    lexiconRows({{1, 3000, "'Anna'"}}));
  const auto libraryDb = library({{.uuid = quoted(kKey), .iso = "100"}});
  const auto records = decoded(Panels::read(&noItems, &libraryDb));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.at(kKey).iso, 100);
  EXPECT_TRUE(records.at(kKey).people.empty());

  const auto noLexicon = makeDatabase(temp, "leo-items-only.sqlite",
                                      "CREATE TABLE items (identifier, lexeme_ids, type);",
                                      itemRow(quoted(kKey), idBlob({1})));
  EXPECT_EQ(decoded(Panels::read(&noLexicon, &libraryDb)).size(), 1u);
}

TEST_F(PanelSources, aBrokenLibraryLeavesTheLexemeFields) {
  const auto leoDb = leo({{1, 3000, "'Anna'"}}, itemRow(quoted(kKey), idBlob({1})));
  const auto noAttributes =
      makeDatabase(temp, "Photos.sqlite", "CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZUUID);",
                   "INSERT INTO ZASSET VALUES (1, " + quoted(kKey) + ");");
  const auto records = decoded(Panels::read(&leoDb, &noAttributes));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.at(kKey).people, (std::vector<std::string>{"Anna"}));
}

TEST_F(PanelSources, noConnectionGivesNothing) {
  EXPECT_TRUE(decoded(Panels::read(nullptr, nullptr)).empty());
  const SqliteDatabase closed;
  EXPECT_TRUE(decoded(Panels::read(&closed, &closed)).empty());
}

}  // namespace
}  // namespace lumenfolio
