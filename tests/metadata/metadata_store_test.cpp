#include "metadata/metadata_store.hpp"

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include "library_fixtures.hpp"
#include "model/measure.hpp"
#include "support/exporter_texts.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;
using testing::Journal;
using testing::kPhotosSchema;

constexpr const char* kPhotosPath = "database/Photos.sqlite";
constexpr const char* kPsiPath = "database/search/psi.sqlite";
constexpr const char* kLeoPath = "database/search/leo.sqlite";

std::string schemaWithout(const std::string& fragment) {
  std::string schema = kPhotosSchema;
  const auto at = schema.find(fragment);
  if (at == std::string::npos) throw std::logic_error("not in the schema: " + fragment);
  return schema.erase(at, fragment.size());
}

float valueOf(const Bytes& blob, std::uint8_t code) {
  for (std::size_t at = 0; at + 5 <= blob.size(); at += 5) {
    if (blob[at] != code) continue;
    std::uint32_t bits = 0;
    for (int i = 4; i >= 1; --i) bits = (bits << 8) | blob[at + i];
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  return NAN;
}

std::set<std::uint8_t> codesOf(const Bytes& blob) {
  std::set<std::uint8_t> codes;
  for (std::size_t at = 0; at < blob.size(); at += 5) codes.insert(blob[at]);
  return codes;
}

class MetadataStoreTest : public ::testing::Test {
 protected:
  fs::path pictures() const { return temp / "Pictures"; }
  fs::path package(const std::string& name = "Photos Library.photoslibrary") const {
    return pictures() / name;
  }

  // A library in Pictures with only its Photos.sqlite.
  void writePhotos(const std::string& rows, const std::string& schema = kPhotosSchema,
                   const fs::path& where = {}) {
    testing::writeDatabase((where.empty() ? package() : where) / kPhotosPath, schema, rows);
  }

  // The temporary folder stands for the home folder.
  MetadataStore store() const { return MetadataStore(pictures(), std::nullopt, temp.path()); }

  lumenfolio::testing::TempDir temp;
};

// --- where the library is -----------------------------------------------------

class LibraryLocationTest : public MetadataStoreTest {
 protected:
  void makeEntry(const std::string& name) { fs::create_directories(pictures() / name); }

  // What the folder listing gives first among the packages, as readdir reports it.
  std::string firstListedPackage() const {
    DIR* folder = opendir(pictures().c_str());
    std::string first;
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name.ends_with(".photoslibrary")) {
        first = name;
        break;
      }
    }
    closedir(folder);
    return first;
  }
};

TEST_F(LibraryLocationTest, photosLibraryNameWinsOverOtherPackages) {
  makeEntry("Other.photoslibrary");
  makeEntry("Photos Library.photoslibrary");
  makeEntry("Another.photoslibrary");
  EXPECT_EQ(MetadataStore::libraryURL(pictures()), pictures() / "Photos Library.photoslibrary");
}

TEST_F(LibraryLocationTest, photosLibraryNameCountsWhenItIsAPlainFile) {
  makeEntry("Other.photoslibrary");
  testing::writeFile(pictures() / "Photos Library.photoslibrary", "not a folder");
  EXPECT_EQ(MetadataStore::libraryURL(pictures()), pictures() / "Photos Library.photoslibrary");
}

TEST_F(LibraryLocationTest, otherwiseFirstPackageOfTheUnsortedListing) {
  for (const char* name : {"B.photoslibrary", "notes.txt", "A.photoslibrary", "C.photoslibrary"}) {
    makeEntry(name);
  }
  const auto expected = firstListedPackage();
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(MetadataStore::libraryURL(pictures()), pictures() / expected);
}

TEST_F(LibraryLocationTest, extensionMustMatchExactly) {
  for (const char* name : {"Holiday.PHOTOSLIBRARY", "Trip.Photoslibrary", "photoslibrary",
                           "Old.photoslibrary.zip", "New.photoslibraryx"}) {
    makeEntry(name);
  }
  EXPECT_FALSE(MetadataStore::libraryURL(pictures()).has_value());
}

TEST_F(LibraryLocationTest, emptyOrMissingPicturesFolderHasNoLibrary) {
  EXPECT_FALSE(MetadataStore::libraryURL(pictures()).has_value());
  fs::create_directories(pictures());
  EXPECT_FALSE(MetadataStore::libraryURL(pictures()).has_value());
}

// --- opening and the failure texts --------------------------------------------

TEST_F(MetadataStoreTest, noLibraryGivesNotFoundTextWithoutFullDiskAccess) {
  fs::create_directories(pictures());
  auto reader = store();
  EXPECT_EQ(reader.currentFailure(), testing::texts::kNoLibraryInPictures);
  EXPECT_FALSE(reader.currentNeedsFullDiskAccess());
  EXPECT_TRUE(reader.features().empty());
  EXPECT_TRUE(reader.measures().empty());
  EXPECT_TRUE(reader.searchTerms().empty());
  EXPECT_TRUE(reader.panels().empty());
}

TEST_F(MetadataStoreTest, notFoundStaysEvenWhenLibraryAppearsLater) {
  auto reader = store();
  EXPECT_TRUE(reader.features().empty());
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'U1');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE) VALUES (1, 0.5);)sql");
  EXPECT_TRUE(reader.features().empty());
  EXPECT_EQ(reader.currentFailure(), testing::texts::kNoLibraryInPictures);
  EXPECT_FALSE(reader.currentNeedsFullDiskAccess());
  EXPECT_EQ(store().features().size(), 1u);
}

TEST_F(MetadataStoreTest, libraryWithoutReadableDatabaseNeedsFullDiskAccess) {
  fs::create_directories(package() / "database/search");
  testing::writeFile(package() / kPhotosPath, std::string(2048, '?'));
  testing::writeFile(package() / kPsiPath, "");
  fs::create_directories(package() / kLeoPath);
  auto reader = store();
  // The failure text is asked for first: it opens the library itself.
  EXPECT_EQ(reader.currentFailure(), std::string(MetadataStore::kFullDiskAccessFailure));
  EXPECT_TRUE(reader.currentNeedsFullDiskAccess());
  EXPECT_TRUE(reader.features().empty());
  EXPECT_TRUE(reader.measures().empty());
}

TEST_F(MetadataStoreTest, unreadableLibraryTextPointsAtTheDatabaseFolderPermissions) {
  EXPECT_EQ(MetadataStore::kFullDiskAccessFailure, testing::texts::kLibraryUnreadable);
}

TEST_F(MetadataStoreTest, notFoundTextNamesTheFolderSearchedWithTheHomeAsTilde) {
  const fs::path home = "/home/ada";
  EXPECT_EQ(MetadataStore::notFoundFailure("/home/ada/Pictures", false, home),
            testing::texts::kNoLibraryInPictures);
  EXPECT_EQ(MetadataStore::notFoundFailure("/home/ada/Pictures/", false, "/home/ada/"),
            testing::texts::kNoLibraryInPictures);
  EXPECT_EQ(MetadataStore::notFoundFailure("/home/ada/Bilder und Fotos", false, home),
            "Couldn't find a Photos library in ~/Bilder und Fotos.");
  EXPECT_EQ(MetadataStore::notFoundFailure("/home/ada", false, home),
            "Couldn't find a Photos library in ~.");
  // Only a whole folder name of the home counts, not a common prefix.
  EXPECT_EQ(MetadataStore::notFoundFailure("/home/adam/Pictures", false, home),
            "Couldn't find a Photos library in /home/adam/Pictures.");
  EXPECT_EQ(MetadataStore::notFoundFailure("/srv/photos", false, home),
            "Couldn't find a Photos library in /srv/photos.");
  EXPECT_EQ(MetadataStore::notFoundFailure("/srv/photos", false, "/"),
            "Couldn't find a Photos library in /srv/photos.");
  EXPECT_EQ(MetadataStore::notFoundFailure("/home/ada/Backup/Old.photoslibrary", true, home),
            "Couldn't find a Photos library at ~/Backup/Old.photoslibrary.");
}

TEST_F(MetadataStoreTest, notFoundTextNamesTheXdgPicturesFolderReallySearched) {
  const auto elsewhere = temp / "Fotos";
  fs::create_directories(elsewhere);
  MetadataStore reader(elsewhere, std::nullopt, temp.path());
  EXPECT_EQ(reader.currentFailure(), "Couldn't find a Photos library in ~/Fotos.");
}

TEST_F(MetadataStoreTest, emptyPackageNeedsFullDiskAccess) {
  fs::create_directories(package());
  auto reader = store();
  EXPECT_TRUE(reader.currentNeedsFullDiskAccess());
  EXPECT_EQ(reader.currentFailure(), std::string(MetadataStore::kFullDiskAccessFailure));
}

TEST_F(MetadataStoreTest, onlyPhotosDatabaseIsEnoughForFeaturesAndMeasures) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZFAVORITE) VALUES (1, 'U1', 1);
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE) VALUES (1, 0.5);)sql");
  auto reader = store();
  EXPECT_EQ(reader.features().size(), 1u);
  EXPECT_EQ(reader.measures().size(), 1u);
  EXPECT_TRUE(reader.searchTerms().empty());
  EXPECT_FALSE(reader.currentFailure().has_value());
  EXPECT_FALSE(reader.currentNeedsFullDiskAccess());
}

TEST_F(MetadataStoreTest, explicitPackageIsReadInsteadOfPictures) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'IN-PICTURES');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET) VALUES (1);)sql");
  const auto elsewhere = temp / "Backup" / "Old Library.photoslibrary";
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'ELSEWHERE');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET) VALUES (1);)sql",
              kPhotosSchema, elsewhere);
  MetadataStore reader(pictures(), elsewhere);
  const auto features = reader.features();
  ASSERT_EQ(features.size(), 1u);
  EXPECT_TRUE(features.contains("ELSEWHERE"));
}

TEST_F(MetadataStoreTest, missingExplicitPackageGivesNotFoundText) {
  writePhotos("INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'IN-PICTURES');");
  MetadataStore reader(pictures(), temp / "Gone.photoslibrary", temp.path());
  EXPECT_EQ(reader.currentFailure(), "Couldn't find a Photos library at ~/Gone.photoslibrary.");
  EXPECT_FALSE(reader.currentNeedsFullDiskAccess());
  EXPECT_TRUE(reader.features().empty());
}

TEST_F(MetadataStoreTest, databasesAreOpenedOnceAndKept) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'FIRST');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET) VALUES (1);)sql");
  auto reader = store();
  ASSERT_TRUE(reader.features().contains("FIRST"));
  // A different database put in its place is not seen by this store.
  fs::rename(package(), temp / "moved.photoslibrary");
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'SECOND');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET) VALUES (1);)sql");
  const auto features = reader.features();
  EXPECT_TRUE(features.contains("FIRST"));
  EXPECT_FALSE(features.contains("SECOND"));
}

// --- features -----------------------------------------------------------------

TEST_F(MetadataStoreTest, analysedAssetWithoutFacesHasScoresFlagAndZeroCounts) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZISDETECTEDSCREENSHOT) VALUES (1, 'U1', 1);
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE, ZEXPOSURESCORE)
      VALUES (1, 0.25, -0.5);)sql");
  const auto features = store().features();
  ASSERT_EQ(features.size(), 1u);
  EXPECT_EQ(features.at("U1"), (AssetFeatures{0.25, -0.5, 0, 0, 0, true}));
}

TEST_F(MetadataStoreTest, facesWithoutAnalysisCountClosedEyesAndSmiles) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZISDETECTEDSCREENSHOT) VALUES (1, 'U1', 1);
    INSERT INTO ZDETECTEDFACE (ZASSETFORFACE, ZISLEFTEYECLOSED, ZISRIGHTEYECLOSED, ZHASSMILE)
      VALUES (1, 1, 0, 0), (1, 0, 0, 1);)sql");
  const auto features = store().features();
  ASSERT_EQ(features.size(), 1u);
  // Without a media-analysis row the screenshot column is not read.
  EXPECT_EQ(features.at("U1"), (AssetFeatures{0, 0, 2, 1, 1, false}));
}

TEST_F(MetadataStoreTest, faceWithBothEyesClosedCountsOnce) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'U1');
    INSERT INTO ZDETECTEDFACE (ZASSETFORFACE, ZISLEFTEYECLOSED, ZISRIGHTEYECLOSED, ZHASSMILE)
      VALUES (1, 1, 1, 1), (1, 0, 0, 0), (1, NULL, NULL, NULL);)sql");
  const auto features = store().features();
  EXPECT_EQ(features.at("U1"), (AssetFeatures{0, 0, 3, 1, 1, false}));
}

TEST_F(MetadataStoreTest, facesJoinTheAnalysedRecord) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZISDETECTEDSCREENSHOT) VALUES (1, 'U1', 0), (2, 'U2', NULL);
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE, ZEXPOSURESCORE)
      VALUES (1, 0.9, 0.1);
    INSERT INTO ZDETECTEDFACE (ZASSETFORFACE, ZISLEFTEYECLOSED, ZISRIGHTEYECLOSED, ZHASSMILE)
      VALUES (1, 0, 1, 1);)sql");
  const auto features = store().features();
  ASSERT_EQ(features.size(), 1u);
  EXPECT_EQ(features.at("U1"), (AssetFeatures{0.9, 0.1, 1, 1, 1, false}));
}

TEST_F(MetadataStoreTest, laterAnalysisRowForTheSameUuidWins) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'SAME'), (2, 'SAME');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (Z_PK, ZASSET, ZBLURRINESSSCORE) VALUES (1, 1, 0.1);
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (Z_PK, ZASSET, ZBLURRINESSSCORE) VALUES (2, 2, 0.2);)sql");
  const auto features = store().features();
  ASSERT_EQ(features.size(), 1u);
  EXPECT_DOUBLE_EQ(features.at("SAME").sharpness, 0.2);
}

TEST_F(MetadataStoreTest, facesOfAssetRowsSharingAUuidAddUp) {
  // Asset rows apart in the file, with faces stored out of their order.
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'SAME'), (2, 'OTHER'), (3, 'SAME');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE) VALUES (3, 0.5);
    INSERT INTO ZDETECTEDFACE (ZASSETFORFACE, ZISLEFTEYECLOSED, ZISRIGHTEYECLOSED, ZHASSMILE)
      VALUES (3, 1, 0, 0), (1, 0, 0, 1), (2, 0, 0, 1), (3, 0, 0, 1), (1, 0, 1, 1);)sql");
  const auto features = store().features();
  ASSERT_EQ(features.size(), 2u);
  EXPECT_EQ(features.at("SAME"), (AssetFeatures{0.5, 0, 4, 2, 3, false}));
  EXPECT_EQ(features.at("OTHER"), (AssetFeatures{0, 0, 1, 0, 1, false}));
}

TEST_F(MetadataStoreTest, uuidIsTrimmedCutAtNulAndKeptInItsCase) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES
      (1, '  spaced  '), (2, 'newline' || char(10)), (3, CAST(X'4E554C00746169' AS TEXT)),
      (4, '   '), (5, NULL), (6, ''), (7, CAST(X'00616263' AS TEXT)),
      (8, 'ab12cd34-0000-4000-8000-00000000abcd');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET) VALUES (1), (2), (3), (4), (5), (6), (7), (8);
    INSERT INTO ZDETECTEDFACE (ZASSETFORFACE) VALUES (4), (5), (6), (7);)sql");
  const auto features = store().features();
  const std::set<std::string> expected{"spaced", "newline", "NUL",
                                       "ab12cd34-0000-4000-8000-00000000abcd"};
  std::set<std::string> keys;
  for (const auto& [key, value] : features) keys.insert(key.text());
  EXPECT_EQ(keys, expected);
}

TEST_F(MetadataStoreTest, unexpectedColumnTypesReadAsNumbersWithoutFailing) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZISDETECTEDSCREENSHOT) VALUES
      (1, 'TEXT', 'yes'), (2, 'HUGE', 4294967296), (3, 12345, X'01');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE, ZEXPOSURESCORE) VALUES
      (1, 'sharp', '0.5'), (2, 1e308, 9223372036854775807), (3, X'00', -1e308);)sql");
  const auto features = store().features();
  ASSERT_EQ(features.size(), 3u);
  EXPECT_EQ(features.at("TEXT"), (AssetFeatures{0, 0.5, 0, 0, 0, false}));
  EXPECT_DOUBLE_EQ(features.at("HUGE").sharpness, 1e308);
  EXPECT_DOUBLE_EQ(features.at("HUGE").exposure, 9223372036854775807.0);
  // Not zero, even though its lower 32 bits are.
  EXPECT_TRUE(features.at("HUGE").isScreenshot);
  EXPECT_DOUBLE_EQ(features.at("12345").exposure, -1e308);
}

TEST_F(MetadataStoreTest, passWhoseTableIsMissingLeavesTheOtherPass) {
  writePhotos(
      R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'U1');
    INSERT INTO ZDETECTEDFACE (ZASSETFORFACE, ZHASSMILE) VALUES (1, 1);)sql",
      schemaWithout(
          R"sql(CREATE TABLE ZMEDIAANALYSISASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, ZASSET INTEGER,
  ZBLURRINESSSCORE FLOAT, ZEXPOSURESCORE FLOAT, ZFACECOUNT INTEGER, ZACTIVITYSCORE FLOAT,
  ZWALLPAPERSCORE FLOAT);)sql"));
  auto reader = store();
  EXPECT_EQ(reader.features().at("U1"), (AssetFeatures{0, 0, 1, 0, 1, false}));
  // Every measure is read through a join of that table, so none compiles.
  EXPECT_TRUE(reader.measures().empty());
}

TEST_F(MetadataStoreTest, libraryWithoutAssetTableGivesEmptyResults) {
  writePhotos("", "CREATE TABLE unrelated (x);");
  auto reader = store();
  EXPECT_TRUE(reader.features().empty());
  EXPECT_TRUE(reader.measures().empty());
  EXPECT_FALSE(reader.currentFailure().has_value());
}

// --- measures -----------------------------------------------------------------

TEST_F(MetadataStoreTest, favouriteOnlyPhotoPacksToOneEntry) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZFAVORITE, ZDUPLICATEASSETVISIBILITYSTATE, ZHDRTYPE,
      ZDEPTHTYPE, ZKIND, ZLATITUDE, ZWIDTH, ZHEIGHT)
      VALUES (1, 'FAV', 1, 0, 0, 0, 0, 48.85, 4032, 3024);)sql");
  const auto measures = store().measures();
  ASSERT_EQ(measures.size(), 1u);
  EXPECT_EQ(measures.at("FAV"), (Bytes{0x2A, 0x00, 0x00, 0x80, 0x3F}));
}

TEST_F(MetadataStoreTest, assetWithoutAnyValueHasNoEntry) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZFAVORITE, ZKIND, ZLATITUDE, ZWIDTH, ZHEIGHT)
      VALUES (1, 'NOTHING', 0, 0, 10.5, 2000, 1000);
    INSERT INTO ZCOMPUTEDASSETATTRIBUTES (ZASSET) VALUES (1);
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZFACECOUNT) VALUES (1, 2);
    INSERT INTO ZADDITIONALASSETATTRIBUTES (ZASSET, ZVIEWCOUNT, ZSHARECOUNT)
      VALUES (1, 3, 0);)sql");
  EXPECT_TRUE(store().measures().empty());
}

TEST_F(MetadataStoreTest, everyCatalogueMeasureIsReadInCodeOrder) {
  std::string computed = "INSERT INTO ZCOMPUTEDASSETATTRIBUTES VALUES (1, 1";
  for (int i = 0; i < 21; ++i) computed += ", " + std::to_string(0.01 * (i + 4));
  computed += ");";
  writePhotos(R"sql(
    INSERT INTO ZASSET VALUES (1, 'ALL', 1, 0.01, 0.02, 0.03, 1, 'burst', 1, 1, 1, 1, NULL, 10, 10);
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES VALUES (1, 1, 0.5, 0.5, 0, 0.25, 0.26);
    INSERT INTO ZADDITIONALASSETATTRIBUTES VALUES (1, 1, 0, 2, 1);)sql" +
              computed);
  const auto measures = store().measures();
  ASSERT_EQ(measures.size(), 1u);
  const auto& blob = measures.at("ALL");
  ASSERT_EQ(blob.size(), Measure::all().size() * 5);
  for (std::size_t i = 0; i < Measure::all().size(); ++i) {
    EXPECT_EQ(blob[i * 5], Measure::all()[i].code) << "entry " << i;
  }
  EXPECT_FLOAT_EQ(valueOf(blob, 1), 0.01f);
  EXPECT_FLOAT_EQ(valueOf(blob, 4), 0.04f);
  EXPECT_FLOAT_EQ(valueOf(blob, 24), 0.24f);
  EXPECT_FLOAT_EQ(valueOf(blob, 26), 0.26f);
  for (const std::uint8_t flag : {40, 41, 42, 43, 44, 60, 61, 62, 63, 64, 65, 66}) {
    EXPECT_EQ(valueOf(blob, flag), 1.0f) << int(flag);
  }
}

TEST_F(MetadataStoreTest, libraryWithoutLowLightColumnLosesOnlyThatMeasure) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'U1'), (2, 'U2');
    INSERT INTO ZCOMPUTEDASSETATTRIBUTES (ZASSET, ZINTRUSIVEOBJECTPRESENCESCORE,
      ZIMMERSIVENESSSCORE) VALUES (1, 0.22, 0.24), (2, 0.5, 0.5);)sql",
              schemaWithout(" ZLOWLIGHT FLOAT,"));
  const auto measures = store().measures();
  ASSERT_EQ(measures.size(), 2u);
  for (const auto& [key, blob] : measures) {
    const auto codes = codesOf(blob);
    EXPECT_FALSE(codes.contains(23)) << key;
    EXPECT_TRUE(codes.contains(22)) << key;
    EXPECT_TRUE(codes.contains(24)) << key;
  }
  EXPECT_FLOAT_EQ(valueOf(measures.at("U1"), 24), 0.24f);
}

TEST_F(MetadataStoreTest, zeroScoreIsKeptWhileNullIsLeftOut) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZLATITUDE, ZWIDTH, ZHEIGHT, ZCURATIONSCORE, ZICONICSCORE)
      VALUES (1, 'U1', 1.0, 4000, 3000, 0.0, NULL);
    INSERT INTO ZCOMPUTEDASSETATTRIBUTES (ZASSET, ZNOISESCORE) VALUES (1, -0.7);)sql");
  const auto measures = store().measures();
  const Bytes expected{0x02, 0x00, 0x00, 0x00, 0x00, 0x14, 0x33, 0x33, 0x33, 0xBF};
  EXPECT_EQ(measures.at("U1"), expected);
}

TEST_F(MetadataStoreTest, laterRowWithValuesReplacesEarlierOne) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZLATITUDE, ZWIDTH, ZHEIGHT, ZCURATIONSCORE) VALUES
      (1, 'SAME', 1.0, 4000, 3000, 0.25), (2, ' SAME ', 1.0, 4000, 3000, 0.5);)sql");
  const auto measures = store().measures();
  ASSERT_EQ(measures.size(), 1u);
  EXPECT_EQ(valueOf(measures.at("SAME"), 2), 0.5f);
}

TEST_F(MetadataStoreTest, absurdValuesAreNarrowedWithoutFailing) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID, ZLATITUDE, ZWIDTH, ZHEIGHT, ZOVERALLAESTHETICSCORE,
      ZCURATIONSCORE, ZICONICSCORE, ZFAVORITE) VALUES
      (1, 'U1', 1.0, 9223372036854775807, 9223372036854775807, 1e308, -1e308,
       9223372036854775807, 'one');
    INSERT INTO ZCOMPUTEDASSETATTRIBUTES (ZASSET, ZNOISESCORE, ZFAILURESCORE, ZLOWLIGHT)
      VALUES (1, 'noisy', X'CAFE', 3.4028235e38);)sql");
  const auto measures = store().measures();
  ASSERT_EQ(measures.size(), 1u);
  const auto& blob = measures.at("U1");
  EXPECT_EQ(valueOf(blob, 1), std::numeric_limits<float>::infinity());
  EXPECT_EQ(valueOf(blob, 2), -std::numeric_limits<float>::infinity());
  EXPECT_FLOAT_EQ(valueOf(blob, 3), 9.223372e18f);
  EXPECT_EQ(valueOf(blob, 20), 0.0f);
  EXPECT_EQ(valueOf(blob, 21), 0.0f);
  EXPECT_EQ(valueOf(blob, 23), std::numeric_limits<float>::max());
  EXPECT_FALSE(codesOf(blob).contains(42));
}

TEST_F(MetadataStoreTest, truncatedLibraryGivesWhatItCanWithoutFailing) {
  std::string rows =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) ";
  rows +=
      "INSERT INTO ZASSET (Z_PK, ZUUID, ZFAVORITE) SELECT i, printf('ASSET-%05d', i), 1 FROM n;";
  rows += "INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE) ";
  rows += "SELECT Z_PK, 0.5 FROM ZASSET;";
  writePhotos(rows);
  const auto file = package() / kPhotosPath;
  fs::resize_file(file, fs::file_size(file) / 3);
  auto reader = store();
  EXPECT_LT(reader.features().size(), 3000u);
  EXPECT_LT(reader.measures().size(), 3000u);
}

// --- integrity check ----------------------------------------------------------

TEST_F(MetadataStoreTest, integrityCheckPassesASoundLibraryAndOneWithoutSomeTables) {
  writePhotos(R"sql(
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'U1');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE) VALUES (1, 0.5);)sql");
  auto sound = store();
  ASSERT_EQ(sound.features().size(), 1u);
  EXPECT_NO_THROW(sound.checkIntegrity());

  fs::remove_all(package());
  writePhotos("INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'U1');",
              "CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZUUID VARCHAR);");
  auto older = store();
  EXPECT_TRUE(older.features().empty());
  EXPECT_NO_THROW(older.checkIntegrity());
}

// Changes the first byte of `text` in the table's copy of it, leaving the
// index's copy as it was: SQLite reads on without an error.
void flipInTableOnly(const fs::path& file, std::string_view text) {
  auto bytes = testing::contentsOf(file);
  const auto inTable = bytes.find(text);
  ASSERT_NE(inTable, std::string::npos);
  ASSERT_NE(bytes.find(text, inTable + 1), std::string::npos) << "and in its index";
  bytes[inTable] = 'V';
  testing::writeFile(file, bytes);
}

// The text of the SqliteError that checkIntegrity() throws; empty when none.
std::string integrityFailureOf(MetadataStore& reader) {
  try {
    reader.checkIntegrity();
  } catch (const SqliteError& error) {
    EXPECT_EQ(error.resultCode(), SQLITE_CORRUPT);
    return error.what();
  }
  return {};
}

// A UUID whose bytes changed in the table while its index kept the old ones
// reads on without an error: the check names the table, the package's file
// and what it found.
TEST_F(MetadataStoreTest, integrityCheckNamesTheDamagedTableAndDatabase) {
  writePhotos(R"sql(
    CREATE INDEX ZASSET_ZUUID_INDEX ON ZASSET (ZUUID);
    INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (1, 'UUID-TO-FLIP');
    INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE) VALUES (1, 0.5);)sql");
  const auto file = package() / kPhotosPath;
  flipInTableOnly(file, "UUID-TO-FLIP");

  auto reader = store();
  ASSERT_TRUE(reader.features().contains("VUID-TO-FLIP")) << "read on without an error";
  const auto what = integrityFailureOf(reader);
  EXPECT_NE(what.find("integrity check of ZASSET " + file.string() + ": "), std::string::npos)
      << what;
  EXPECT_NE(what.find("missing from index ZASSET_ZUUID_INDEX"), std::string::npos) << what;
}

// An older library keeps its assets in ZGENERICASSET, read through a view
// named ZASSET: the check goes to the table itself.
TEST_F(MetadataStoreTest, integrityCheckOfAnOlderLibraryChecksItsAssetTable) {
  writePhotos(R"sql(
    CREATE INDEX ZGENERICASSET_ZUUID_INDEX ON ZGENERICASSET (ZUUID);
    INSERT INTO ZGENERICASSET (Z_PK, ZUUID) VALUES (1, 'UUID-TO-FLIP');)sql",
              "CREATE TABLE ZGENERICASSET (Z_PK INTEGER PRIMARY KEY, ZUUID VARCHAR);");
  flipInTableOnly(package() / kPhotosPath, "UUID-TO-FLIP");

  auto reader = store();
  reader.features();
  const auto what = integrityFailureOf(reader);
  EXPECT_NE(what.find("integrity check of ZGENERICASSET "), std::string::npos) << what;
}

// --- fingerprint --------------------------------------------------------------

class LibraryFingerprintTest : public MetadataStoreTest {
 protected:
  LibraryFingerprintTest() { writePhotos(""); }

  std::optional<std::string> fingerprintNow() { return store().fingerprint(); }
  fs::path photosFile() const { return package() / kPhotosPath; }
};

TEST_F(LibraryFingerprintTest, noLibraryHasNoFingerprint) {
  fs::remove_all(package());
  EXPECT_EQ(fingerprintNow(), std::nullopt);
}

TEST_F(LibraryFingerprintTest, isTheSameWhileNothingChangesAndOpensNothing) {
  const auto before = fingerprintNow();
  ASSERT_TRUE(before);
  EXPECT_EQ(fingerprintNow(), before);
  // Telling the files never opens them, so SQLite leaves no side file behind.
  EXPECT_FALSE(fs::exists(photosFile().string() + "-shm"));
  EXPECT_FALSE(fs::exists(photosFile().string() + "-journal"));
}

TEST_F(LibraryFingerprintTest, changesWithEachDatabaseAndItsWal) {
  const auto search = package() / "database" / "search";
  fs::create_directories(search);
  for (const auto& file : {photosFile(), search / "psi.sqlite", search / "leo.sqlite"}) {
    for (const std::string suffix : {"", "-wal"}) {
      const auto before = fingerprintNow();
      std::ofstream(file.string() + suffix, std::ios::app) << "x";
      EXPECT_NE(fingerprintNow(), before) << file << suffix;
    }
  }
}

TEST_F(LibraryFingerprintTest, aTouchAloneIsAChange) {
  const auto wal = fs::path(photosFile().string() + "-wal");
  std::ofstream(wal) << "frames";
  const auto before = fingerprintNow();
  fs::last_write_time(wal, fs::last_write_time(wal) + std::chrono::seconds(1));
  EXPECT_NE(fingerprintNow(), before);
}

}  // namespace
}  // namespace lumenfolio
