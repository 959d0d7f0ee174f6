#include "metadata/library_schema.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "library_fixtures.hpp"
#include "metadata/library_database.hpp"
#include "metadata/metadata_store.hpp"
#include "sample_library/sample_library.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/asset_metadata_decoding.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;
using sample::SampleLibrary;
using testing::Journal;

// Which table a statement naming ZASSET reads on a probed connection.
enum class AssetTable {
  asset,         // the library's own ZASSET
  genericAsset,  // a TEMP view ZASSET (over ZGENERICASSET)
  missing,       // none: a statement naming ZASSET doesn't compile
};

constexpr const char* kPhotosPath = "database/Photos.sqlite";

constexpr const char* kCameraTable =
    "CREATE TABLE ZEXTENDEDATTRIBUTES (Z_PK INTEGER PRIMARY KEY, ZASSET INTEGER, "
    "ZCAMERAMODEL VARCHAR, ZLENSMODEL VARCHAR, ZISO INTEGER, ZAPERTURE FLOAT, "
    "ZSHUTTERSPEED FLOAT, ZFOCALLENGTH FLOAT, ZFLASHFIRED INTEGER);";

// The fixture schema with one piece of it written as an older system writes it.
std::string replaced(std::string schema, const std::string& current, const std::string& older) {
  const auto at = schema.find(current);
  if (at == std::string::npos) throw std::logic_error("not in the schema: " + current);
  return schema.replace(at, current.size(), older);
}

std::string withoutScreenshotColumn(const std::string& schema) {
  return replaced(schema, "ZISDETECTEDSCREENSHOT INTEGER,", "ZKINDSUBTYPE INTEGER,");
}
std::string withoutScreenshotOrSubtype(const std::string& schema) {
  return replaced(schema, "ZISDETECTEDSCREENSHOT INTEGER,", "");
}
std::string withFacesOnAsset(const std::string& schema) {
  return replaced(schema, "ZASSETFORFACE INTEGER,", "ZASSET INTEGER,");
}
std::string withGenericAssetTable(const std::string& schema) {
  return replaced(schema, "CREATE TABLE ZASSET (", "CREATE TABLE ZGENERICASSET (");
}

class LibrarySchemaTest : public ::testing::Test {
 protected:
  fs::path pictures() const { return temp / "Pictures"; }
  fs::path package() const { return pictures() / "Photos Library.photoslibrary"; }

  void writePhotos(const std::string& schema, const std::string& rows,
                   Journal journal = Journal::rollback) const {
    testing::writeDatabase(package() / kPhotosPath, schema, rows, journal);
  }

  // Probes a fresh read-only connection the way the readers open the library;
  // the connection stays open for probedAssetTable().
  LibrarySchema probe() {
    probed_ = LibraryDatabase::open(package() / kPhotosPath);
    if (!probed_) throw std::runtime_error("the fixture library does not open");
    return LibrarySchema::adapt(probed_->connection());
  }

  // What the last probe left its connection reading as ZASSET.
  AssetTable probedAssetTable() const {
    const auto& connection = probed_->connection();
    const auto compiles = [&](const char* sql) {
      return static_cast<bool>(SqliteStatement(connection, sql));
    };
    if (!compiles("SELECT 1 FROM ZASSET")) return AssetTable::missing;
    if (compiles("SELECT 1 FROM main.ZASSET")) return AssetTable::asset;
    SqliteStatement view(
        connection, "SELECT 1 FROM sqlite_temp_master WHERE type = 'view' AND name = 'ZASSET'");
    if (!view.step()) throw std::runtime_error("ZASSET is neither the library's table nor a view");
    return AssetTable::genericAsset;
  }

  MetadataStore store() const { return MetadataStore(pictures()); }

  lumenfolio::testing::TempDir temp;
  std::optional<LibraryDatabase> probed_;
};

// One analysed screenshot with two faces, one analysed photo, one photo with a
// face only; `screenshotColumn` and `faceColumn` name the columns as the schema has them.
std::string assetsWithFaces(const std::string& assetTable, const std::string& screenshotColumn,
                            const std::string& shot, const std::string& photo,
                            const std::string& faceColumn) {
  return "INSERT INTO " + assetTable + " (Z_PK, ZUUID" + screenshotColumn + ") VALUES (1, 'SHOT'" +
         shot + "), (2, 'PHOTO'" + photo + "), (3, 'FACE'" + photo +
         ");\n"
         "INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE, ZEXPOSURESCORE) "
         "VALUES (1, 0.25, 0.5), (2, 0.75, -0.125);\n"
         "INSERT INTO ZDETECTEDFACE (" +
         faceColumn +
         ", ZISLEFTEYECLOSED, ZISRIGHTEYECLOSED, ZHASSMILE) "
         "VALUES (1, 1, 0, 0), (1, 0, 0, 1), (3, 0, 1, 1);";
}

void expectAllFeatures(const ByAssetUuid<AssetFeatures>& features, bool screenshotRead = true) {
  ASSERT_EQ(features.size(), 3u);
  EXPECT_EQ(features.at("SHOT"), (AssetFeatures{0.25, 0.5, 2, 1, 1, screenshotRead}));
  EXPECT_EQ(features.at("PHOTO"), (AssetFeatures{0.75, -0.125, 0, 0, 0, false}));
  EXPECT_EQ(features.at("FACE"), (AssetFeatures{0, 0, 1, 1, 1, false}));
}

// --- current libraries ----------------------------------------------------------

TEST_F(LibrarySchemaTest, currentLibraryRunsTheStatementsAsTheyAre) {
  writePhotos(testing::kPhotosSchema,
              assetsWithFaces("ZASSET", ", ZISDETECTEDSCREENSHOT", ", 1", ", 0", "ZASSETFORFACE"));
  const auto schema = probe();
  EXPECT_EQ(probedAssetTable(), AssetTable::asset);
  EXPECT_EQ(MetadataStore::analysisStatement(schema),
            "SELECT a.ZUUID, m.ZBLURRINESSSCORE, m.ZEXPOSURESCORE, a.ZISDETECTEDSCREENSHOT\n"
            "FROM ZASSET a\n"
            "JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK\n"
            "WHERE a.ZUUID IS NOT NULL");
  EXPECT_EQ(MetadataStore::faceStatement(schema),
            "SELECT a.ZUUID, COUNT(*),\n"
            "       SUM(CASE WHEN d.ZISLEFTEYECLOSED = 1 OR d.ZISRIGHTEYECLOSED = 1 THEN 1 ELSE 0 "
            "END),\n"
            "       SUM(CASE WHEN d.ZHASSMILE = 1 THEN 1 ELSE 0 END)\n"
            "FROM ZDETECTEDFACE d CROSS JOIN ZASSET a ON a.Z_PK = d.ZASSETFORFACE\n"
            "WHERE a.ZUUID IS NOT NULL\n"
            "GROUP BY d.ZASSETFORFACE");
  expectAllFeatures(store().features());
}

TEST_F(LibrarySchemaTest, currentLibraryWithASubtypeStillReadsTheDetectedFlag) {
  // A current library has both columns; the detection flag is what counts.
  writePhotos(replaced(testing::kPhotosSchema, "ZISDETECTEDSCREENSHOT INTEGER,",
                       "ZISDETECTEDSCREENSHOT INTEGER, ZKINDSUBTYPE INTEGER,"),
              assetsWithFaces("ZASSET", ", ZISDETECTEDSCREENSHOT, ZKINDSUBTYPE", ", 1, 0",
                              ", 0, 10", "ZASSETFORFACE"));
  EXPECT_EQ(probe().screenshot(), LibrarySchema::kScreenshotColumn);
  expectAllFeatures(store().features());
}

// --- each older column on its own, and together ----------------------------------

TEST_F(LibrarySchemaTest, withoutTheScreenshotColumnASubtypeOfTenIsAScreenshot) {
  writePhotos(withoutScreenshotColumn(testing::kPhotosSchema),
              assetsWithFaces("ZASSET", ", ZKINDSUBTYPE", ", 10", ", 2", "ZASSETFORFACE"));
  const auto schema = probe();
  EXPECT_EQ(schema.screenshot(), LibrarySchema::kScreenshotBySubtype);
  EXPECT_EQ(schema.faceAsset(), LibrarySchema::kFaceAssetColumn);
  EXPECT_EQ(MetadataStore::analysisStatement(schema),
            "SELECT a.ZUUID, m.ZBLURRINESSSCORE, m.ZEXPOSURESCORE, "
            "CASE WHEN a.ZKINDSUBTYPE = 10 THEN 1 ELSE 0 END\n"
            "FROM ZASSET a\n"
            "JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK\n"
            "WHERE a.ZUUID IS NOT NULL");
  expectAllFeatures(store().features());
}

TEST_F(LibrarySchemaTest, aNullSubtypeIsNoScreenshot) {
  writePhotos(withoutScreenshotColumn(testing::kPhotosSchema),
              assetsWithFaces("ZASSET", ", ZKINDSUBTYPE", ", 10", ", NULL", "ZASSETFORFACE"));
  expectAllFeatures(store().features());
}

TEST_F(LibrarySchemaTest, withoutScreenshotColumnOrSubtypeNothingIsAScreenshot) {
  writePhotos(withoutScreenshotOrSubtype(testing::kPhotosSchema),
              assetsWithFaces("ZASSET", "", "", "", "ZASSETFORFACE"));
  EXPECT_EQ(probe().screenshot(), LibrarySchema::kNoScreenshot);
  expectAllFeatures(store().features(), false);
}

TEST_F(LibrarySchemaTest, withoutTheFaceColumnFacesJoinOnTheirAsset) {
  writePhotos(withFacesOnAsset(testing::kPhotosSchema),
              assetsWithFaces("ZASSET", ", ZISDETECTEDSCREENSHOT", ", 1", ", 0", "ZASSET"));
  const auto schema = probe();
  EXPECT_EQ(schema.screenshot(), LibrarySchema::kScreenshotColumn);
  EXPECT_EQ(schema.faceAsset(), LibrarySchema::kOlderFaceAssetColumn);
  EXPECT_EQ(MetadataStore::faceStatement(schema),
            "SELECT a.ZUUID, COUNT(*),\n"
            "       SUM(CASE WHEN d.ZISLEFTEYECLOSED = 1 OR d.ZISRIGHTEYECLOSED = 1 THEN 1 ELSE 0 "
            "END),\n"
            "       SUM(CASE WHEN d.ZHASSMILE = 1 THEN 1 ELSE 0 END)\n"
            "FROM ZDETECTEDFACE d CROSS JOIN ZASSET a ON a.Z_PK = d.ZASSET\n"
            "WHERE a.ZUUID IS NOT NULL\n"
            "GROUP BY d.ZASSET");
  expectAllFeatures(store().features());
}

TEST_F(LibrarySchemaTest, withBothOlderColumnsEverythingIsRead) {
  writePhotos(withFacesOnAsset(withoutScreenshotColumn(testing::kPhotosSchema)),
              assetsWithFaces("ZASSET", ", ZKINDSUBTYPE", ", 10", ", 0", "ZASSET"));
  const auto schema = probe();
  EXPECT_EQ(probedAssetTable(), AssetTable::asset);
  EXPECT_EQ(schema.screenshot(), LibrarySchema::kScreenshotBySubtype);
  EXPECT_EQ(schema.faceAsset(), LibrarySchema::kOlderFaceAssetColumn);
  expectAllFeatures(store().features());
}

TEST_F(LibrarySchemaTest, faceTableWithNeitherJoinColumnLosesOnlyTheFacePass) {
  writePhotos(replaced(testing::kPhotosSchema, "ZASSETFORFACE INTEGER,", "ZOTHER INTEGER,"),
              assetsWithFaces("ZASSET", ", ZISDETECTEDSCREENSHOT", ", 1", ", 0", "ZOTHER"));
  EXPECT_EQ(probe().faceAsset(), LibrarySchema::kFaceAssetColumn);
  const auto features = store().features();
  ASSERT_EQ(features.size(), 2u);
  EXPECT_EQ(features.at("SHOT"), (AssetFeatures{0.25, 0.5, 0, 0, 0, true}));
}

// --- the asset table -------------------------------------------------------------

TEST_F(LibrarySchemaTest, onlyTheGenericAssetTableIsReadForEveryStatement) {
  writePhotos(
      withGenericAssetTable(testing::kPhotosSchema) + kCameraTable,
      assetsWithFaces("ZGENERICASSET", ", ZISDETECTEDSCREENSHOT", ", 1", ", 0", "ZASSETFORFACE") +
          "UPDATE ZGENERICASSET SET ZFAVORITE = 1 WHERE Z_PK = 2;\n"
          "INSERT INTO ZEXTENDEDATTRIBUTES (ZASSET, ZCAMERAMODEL) VALUES (2, 'Camera');");
  probe();
  EXPECT_EQ(probedAssetTable(), AssetTable::genericAsset);
  auto reader = store();
  expectAllFeatures(reader.features());
  const auto measures = reader.measures();
  ASSERT_TRUE(measures.contains("PHOTO"));
  // Favourite (code 42) at 1.0 among the flags that hold for it.
  const Bytes favourite{42, 0x00, 0x00, 0x80, 0x3F};
  EXPECT_NE(std::search(measures.at("PHOTO").begin(), measures.at("PHOTO").end(), favourite.begin(),
                        favourite.end()),
            measures.at("PHOTO").end());
  const auto panels = reader.panels();
  ASSERT_TRUE(panels.contains("PHOTO"));
  EXPECT_EQ(testing::decodedAssetMetadata(panels.at("PHOTO"))->camera, "Camera");
}

TEST_F(LibrarySchemaTest, withBothAssetTablesTheAssetTableIsRead) {
  writePhotos(
      std::string(testing::kPhotosSchema) +
          "CREATE TABLE ZGENERICASSET (Z_PK INTEGER PRIMARY KEY, ZUUID VARCHAR, "
          "ZISDETECTEDSCREENSHOT INTEGER);",
      "INSERT INTO ZASSET (Z_PK, ZUUID, ZISDETECTEDSCREENSHOT) VALUES (1, 'ASSET', 1);\n"
      "INSERT INTO ZGENERICASSET (Z_PK, ZUUID, ZISDETECTEDSCREENSHOT) "
      "VALUES (1, 'GENERIC', 0);\n"
      "INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE) VALUES (1, 0.5);");
  probe();
  EXPECT_EQ(probedAssetTable(), AssetTable::asset);
  const auto features = store().features();
  ASSERT_EQ(features.size(), 1u);
  EXPECT_EQ(features.at("ASSET"), (AssetFeatures{0.5, 0, 0, 0, 0, true}));
}

TEST_F(LibrarySchemaTest, withNeitherAssetTableNothingIsReadAndNothingFails) {
  writePhotos(
      "CREATE TABLE ZMEDIAANALYSISASSETATTRIBUTES (ZASSET INTEGER, ZBLURRINESSSCORE FLOAT);",
      "INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES VALUES (1, 0.5);");
  probe();
  EXPECT_EQ(probedAssetTable(), AssetTable::missing);
  auto reader = store();
  EXPECT_TRUE(reader.features().empty());
  EXPECT_TRUE(reader.measures().empty());
  EXPECT_TRUE(reader.panels().empty());
  EXPECT_FALSE(reader.currentFailure().has_value());
  EXPECT_FALSE(reader.currentNeedsFullDiskAccess());
}

TEST_F(LibrarySchemaTest, theProbeIsRepeatedForEachOpening) {
  writePhotos(testing::kPhotosSchema,
              assetsWithFaces("ZASSET", ", ZISDETECTEDSCREENSHOT", ", 1", ", 0", "ZASSETFORFACE"));
  auto reader = store();
  expectAllFeatures(reader.features());
  reader.release();
  // The library is replaced by an older system's copy between two runs.
  fs::remove_all(package());
  writePhotos(
      withGenericAssetTable(withFacesOnAsset(withoutScreenshotColumn(testing::kPhotosSchema))),
      assetsWithFaces("ZGENERICASSET", ", ZKINDSUBTYPE", ", 10", ", 0", "ZASSET"));
  expectAllFeatures(reader.features());
}

// The files this process holds open below `folder`, deleted ones included:
// SQLite unlinks its temporary files as soon as it has opened them.
std::vector<std::string> openFilesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const auto target = fs::read_symlink(entry.path(), error).string();
    if (!error && target.starts_with(folder.string())) files.push_back(target);
  }
  return files;
}

TEST_F(LibrarySchemaTest, theOlderAssetTableNeedsNoTemporaryFile) {
  const auto scratch = temp / "tmp";
  fs::create_directories(scratch);
  ASSERT_EQ(setenv("TMPDIR", scratch.c_str(), 1), 0);
  SampleLibrary::write(package(), {.assets = 50,
                                   .seed = 3,
                                   .sideFiles = SampleLibrary::SideFiles::none,
                                   .schema = SampleLibrary::Schema::macos10_15});
  {
    auto reader = store();
    EXPECT_FALSE(reader.features().empty());
    EXPECT_FALSE(reader.panels().empty());
    EXPECT_EQ(openFilesBelow(scratch), std::vector<std::string>());
  }
  EXPECT_TRUE(fs::is_empty(scratch));
  unsetenv("TMPDIR");
}

// --- the package stays as it was ----------------------------------------------------

class OlderLayoutReadingTest
    : public ::testing::TestWithParam<std::tuple<SampleLibrary::Schema, SampleLibrary::SideFiles>> {
 protected:
  struct Reading {
    ByAssetUuid<AssetFeatures> features;
    ByAssetUuid<Bytes> measures;
    ByAssetUuid<std::string> terms;
    ByAssetUuid<std::string> panels;
  };

  static Reading readAll(const fs::path& pictures) {
    MetadataStore store(pictures);
    return {store.features(), store.measures(), store.searchTerms(), store.panels()};
  }

  lumenfolio::testing::TempDir temp;
};

TEST_P(OlderLayoutReadingTest, readsWhatTheCurrentLayoutHoldsAndChangesNoFile) {
  const auto [schema, sideFiles] = GetParam();
  const auto olderPictures = temp / "older";
  const auto currentPictures = temp / "current";
  const auto package = olderPictures / "Photos Library.photoslibrary";
  SampleLibrary::write(package,
                       {.assets = 300, .seed = 11, .sideFiles = sideFiles, .schema = schema});
  SampleLibrary::write(currentPictures / "Photos Library.photoslibrary",
                       {.assets = 300, .seed = 11, .sideFiles = sideFiles});
  const auto before = testing::packageContents(package);

  const auto older = readAll(olderPictures);
  const auto current = readAll(currentPictures);
  EXPECT_FALSE(current.features.empty());
  EXPECT_EQ(older.features, current.features);
  EXPECT_EQ(older.measures, current.measures);
  EXPECT_EQ(older.terms, current.terms);
  EXPECT_TRUE(older.panels == current.panels);

  const auto after = testing::packageContents(package);
  EXPECT_EQ(after, before) << "before:\n"
                           << testing::listing(before) << "after:\n"
                           << testing::listing(after);
}

std::string layoutName(const ::testing::TestParamInfo<OlderLayoutReadingTest::ParamType>& info) {
  const auto schema = std::get<0>(info.param);
  const auto sideFiles = std::get<1>(info.param);
  std::string name = schema == SampleLibrary::Schema::macos10_15 ? "macos10_15"
                     : schema == SampleLibrary::Schema::macos12  ? "macos12"
                                                                 : "macos14";
  name += sideFiles == SampleLibrary::SideFiles::live   ? "_live"
          : sideFiles == SampleLibrary::SideFiles::none ? "_tidy"
                                                        : "_walWithoutShm";
  return name;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, OlderLayoutReadingTest,
    ::testing::Combine(::testing::Values(SampleLibrary::Schema::macos10_15,
                                         SampleLibrary::Schema::macos12,
                                         SampleLibrary::Schema::macos14),
                       ::testing::Values(SampleLibrary::SideFiles::live,
                                         SampleLibrary::SideFiles::none,
                                         SampleLibrary::SideFiles::walWithoutShm)),
    layoutName);

}  // namespace
}  // namespace lumenfolio
