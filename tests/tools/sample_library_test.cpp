#include "sample_library/sample_library.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "model/measure.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio::sample {
namespace {

namespace fs = std::filesystem;
using SideFiles = SampleLibrary::SideFiles;

const fs::path photosPath = "database/Photos.sqlite";
const fs::path psiPath = "database/search/psi.sqlite";
const fs::path leoPath = "database/search/leo.sqlite";

SqliteDatabase openReadOnly(const fs::path& file) {
  auto db = SqliteDatabase::open("file:" + file.string() + "?mode=ro",
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  if (!db) throw std::runtime_error("cannot open " + file.string());
  return db;
}

std::int64_t scalar(const SqliteDatabase& db, const std::string& sql) {
  SqliteStatement statement(db, sql);
  if (!statement || !statement.step()) throw std::runtime_error("no answer to " + sql);
  return statement.columnInt64(0);
}

std::vector<std::string> texts(const SqliteDatabase& db, const std::string& sql) {
  SqliteStatement statement(db, sql);
  if (!statement) throw std::runtime_error("does not compile: " + sql);
  std::vector<std::string> values;
  while (statement.step()) values.emplace_back(statement.columnText(0).value_or("<NULL>"));
  return values;
}

// Every row of one table, with the type of each value, in rowid order.
void dumpTable(const SqliteDatabase& db, const std::string& table, std::ostream& out) {
  out << "table " << table << '\n';
  SqliteStatement rows(db, "SELECT * FROM \"" + table + "\" ORDER BY rowid");
  const int columns = sqlite3_column_count(rows.handle());
  while (rows.step()) {
    for (int c = 0; c < columns; ++c) {
      const int type = rows.columnType(c);
      out << type << ':';
      if (type == SQLITE_FLOAT) {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", rows.columnDouble(c));
        out << number;
      } else if (type == SQLITE_BLOB) {
        const auto blob = *rows.columnBlob(c);
        for (const auto byte : blob) out << static_cast<int>(byte) << '.';
      } else if (type != SQLITE_NULL) {
        out << *rows.columnText(c);
      }
      out << '|';
    }
    out << '\n';
  }
}

// Every row of every table, with the type of each value, in rowid order.
std::string dump(const fs::path& file) {
  const auto db = openReadOnly(file);
  std::ostringstream out;
  for (const auto& table :
       texts(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    dumpTable(db, table, out);
  }
  return out.str();
}

std::string dumpTable(const fs::path& file, const std::string& table) {
  std::ostringstream out;
  dumpTable(openReadOnly(file), table, out);
  return out.str();
}

std::string dumpPackage(const fs::path& package) {
  return dump(package / photosPath) + dump(package / psiPath) + dump(package / leoPath);
}

std::map<std::string, std::string> fileContents(const fs::path& package) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : fs::recursive_directory_iterator(package)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    contents[fs::relative(entry.path(), package).string()] =
        std::string(std::istreambuf_iterator<char>(in), {});
  }
  return contents;
}

// The text of a UUID given as psi.sqlite stores it: two halves, each read
// least significant byte first, as upper-case hex in the 8-4-4-4-12 form.
std::string composed(std::int64_t first, std::int64_t second) {
  std::string text;
  int position = 0;
  for (const auto half : {first, second}) {
    auto bits = static_cast<std::uint64_t>(half);
    for (int i = 0; i < 8; ++i, ++position, bits >>= 8) {
      if (position == 4 || position == 6 || position == 8 || position == 10) text += '-';
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(bits & 0xFF));
      text += digits;
    }
  }
  return text;
}

std::string trimmedUpper(std::string text) {
  const auto first = text.find_first_not_of(" \t\n\r");
  const auto last = text.find_last_not_of(" \t\n\r");
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The ZUUIDs of Photos.sqlite, trimmed and upper-cased.
std::set<std::string> assetUuids(const SqliteDatabase& photos) {
  std::set<std::string> uuids;
  for (const auto& uuid : texts(photos, "SELECT ZUUID FROM ZASSET")) {
    uuids.insert(trimmedUpper(uuid));
  }
  return uuids;
}

void expectCategories(const SqliteDatabase& db, const std::string& table,
                      const std::vector<std::string>& expected) {
  const auto categories = texts(db, "SELECT DISTINCT category FROM " + table);
  for (const auto& category : expected) {
    EXPECT_NE(std::find(categories.begin(), categories.end(), category), categories.end())
        << "no row of category " << category << " in " << table;
  }
}

class SampleLibraryTest : public ::testing::Test {
 protected:
  SampleLibrary::Summary write(const std::string& name, int assets, std::uint64_t seed,
                               SideFiles sideFiles = SideFiles::live,
                               SampleLibrary::Schema schema = SampleLibrary::Schema::current) {
    return SampleLibrary::write(temp / name, {assets, seed, sideFiles, schema});
  }

  testing::TempDir temp;
};

TEST_F(SampleLibraryTest, sameSeedWritesTheSameRows) {
  write("first", 300, 42);
  write("second", 300, 42);
  EXPECT_EQ(dumpPackage(temp / "first"), dumpPackage(temp / "second"));
}

TEST_F(SampleLibraryTest, sideFilesDoNotChangeTheRows) {
  write("live", 300, 42, SideFiles::live);
  write("tidy", 300, 42, SideFiles::none);
  write("copied", 300, 42, SideFiles::walWithoutShm);
  const auto rows = dumpPackage(temp / "tidy");
  EXPECT_EQ(dumpPackage(temp / "live"), rows);
  EXPECT_EQ(dumpPackage(temp / "copied"), rows);
}

TEST_F(SampleLibraryTest, differentSeedsWriteDifferentRows) {
  write("one", 300, 1);
  write("two", 300, 2);
  EXPECT_NE(dump(temp / "one" / photosPath), dump(temp / "two" / photosPath));
  EXPECT_NE(dump(temp / "one" / psiPath), dump(temp / "two" / psiPath));
  EXPECT_NE(dump(temp / "one" / leoPath), dump(temp / "two" / leoPath));
}

TEST_F(SampleLibraryTest, moreAssetsExtendTheSameLibrary) {
  write("small", 100, 9, SideFiles::none);
  write("large", 200, 9, SideFiles::none);
  const auto small = openReadOnly(temp / "small" / photosPath);
  const auto large = openReadOnly(temp / "large" / photosPath);
  EXPECT_EQ(texts(small, "SELECT ZUUID FROM ZASSET ORDER BY Z_PK"),
            texts(large, "SELECT ZUUID FROM ZASSET WHERE Z_PK <= 100 ORDER BY Z_PK"));
}

TEST_F(SampleLibraryTest, databasesHaveTheTablesAndColumnsTheReadersUse) {
  write("library", 50, 1);
  const std::map<fs::path, std::map<std::string, std::vector<std::string>>> expected{
      {photosPath,
       {{"ZASSET",
         {"Z_PK", "ZUUID", "ZISDETECTEDSCREENSHOT", "ZOVERALLAESTHETICSCORE", "ZCURATIONSCORE",
          "ZICONICSCORE", "ZFAVORITE", "ZAVALANCHEUUID", "ZDUPLICATEASSETVISIBILITYSTATE",
          "ZHDRTYPE", "ZDEPTHTYPE", "ZKIND", "ZLATITUDE", "ZWIDTH", "ZHEIGHT", "ZTRASHEDSTATE",
          "ZHIDDEN", "ZVISIBILITYSTATE", "ZCLOUDASSETGUID"}},
        {"ZCOMPUTEDASSETATTRIBUTES", {"ZASSET", "ZPLEASANTCOMPOSITIONSCORE", "ZLOWLIGHT"}},
        {"ZMEDIAANALYSISASSETATTRIBUTES",
         {"ZASSET", "ZBLURRINESSSCORE", "ZEXPOSURESCORE", "ZFACECOUNT", "ZACTIVITYSCORE",
          "ZWALLPAPERSCORE"}},
        {"ZADDITIONALASSETATTRIBUTES",
         {"ZASSET", "ZVIEWCOUNT", "ZSHARECOUNT", "ZHASPEOPLESCENEMIDORGREATERCONFIDENCE"}},
        {"ZDETECTEDFACE", {"ZASSETFORFACE", "ZISLEFTEYECLOSED", "ZISRIGHTEYECLOSED", "ZHASSMILE"}},
        {"ZEXTENDEDATTRIBUTES",
         {"ZASSET", "ZCAMERAMODEL", "ZLENSMODEL", "ZISO", "ZAPERTURE", "ZSHUTTERSPEED",
          "ZFOCALLENGTH", "ZFLASHFIRED"}}}},
      {psiPath,
       {{"assets", {"uuid_0", "uuid_1"}},
        {"groups", {"category", "normalized_string"}},
        {"ga", {"assetid", "groupid"}}}},
      {leoPath,
       {{"lexicon", {"pk", "lexeme_id", "category", "content"}},
        {"items", {"identifier", "lexeme_ids", "type"}}}},
  };
  for (const auto& [file, tables] : expected) {
    const auto db = openReadOnly(temp / "library" / file);
    for (const auto& [table, columns] : tables) {
      const auto present = texts(db, "SELECT name FROM pragma_table_info('" + table + "')");
      ASSERT_FALSE(present.empty()) << table << " is missing from " << file;
      for (const auto& column : columns) {
        EXPECT_NE(std::find(present.begin(), present.end(), column), present.end())
            << table << "." << column << " is missing from " << file;
      }
    }
  }
}

// The names each layout gives the asset table, the screenshot column and the faces' asset.
struct Layout {
  SampleLibrary::Schema schema;
  std::string asset;
  std::string screenshot;
  std::string faceAsset;
};

const std::vector<Layout> olderLayouts = {
    {SampleLibrary::Schema::macos10_15, "ZGENERICASSET", "ZKINDSUBTYPE", "ZASSET"},
    {SampleLibrary::Schema::macos12, "ZASSET", "ZKINDSUBTYPE", "ZASSET"},
    {SampleLibrary::Schema::macos14, "ZASSET", "ZKINDSUBTYPE", "ZASSETFORFACE"},
};

std::set<std::string> columnsOf(const SqliteDatabase& db, const std::string& table) {
  const auto names = texts(db, "SELECT name FROM pragma_table_info('" + table + "')");
  return {names.begin(), names.end()};
}

TEST_F(SampleLibraryTest, olderLayoutsNameTheirTableAndColumnsAsTheirSystemsDid) {
  for (const auto& layout : olderLayouts) {
    const auto name = layout.asset + layout.faceAsset;
    write(name, 30, 5, SideFiles::none, layout.schema);
    const auto db = openReadOnly(temp / name / photosPath);
    const auto assetColumns = columnsOf(db, layout.asset);
    EXPECT_TRUE(assetColumns.contains("ZKINDSUBTYPE")) << name;
    EXPECT_FALSE(assetColumns.contains("ZISDETECTEDSCREENSHOT")) << name;
    EXPECT_TRUE(assetColumns.contains("ZUUID")) << name;
    EXPECT_EQ(columnsOf(db, "ZASSET").empty(), layout.asset != "ZASSET") << name;
    const auto faceColumns = columnsOf(db, "ZDETECTEDFACE");
    EXPECT_TRUE(faceColumns.contains(layout.faceAsset)) << name;
    EXPECT_EQ(faceColumns.contains("ZASSETFORFACE"), layout.faceAsset == "ZASSETFORFACE") << name;
  }
}

TEST_F(SampleLibraryTest, everyLayoutHoldsTheSameAssets) {
  write("current", 400, 13, SideFiles::none);
  const auto current = temp / "current";
  const auto currentDb = openReadOnly(current / photosPath);
  const std::string assetRow =
      "SELECT quote(Z_PK) || quote(ZUUID) || quote(ZCLOUDASSETGUID) || quote(ZKIND) || "
      "quote(ZTRASHEDSTATE) || quote(ZHIDDEN) || quote(ZVISIBILITYSTATE) || "
      "quote(ZOVERALLAESTHETICSCORE) || quote(ZCURATIONSCORE) || quote(ZICONICSCORE) || "
      "quote(ZFAVORITE) || quote(ZAVALANCHEUUID) || quote(ZDUPLICATEASSETVISIBILITYSTATE) || "
      "quote(ZHDRTYPE) || quote(ZDEPTHTYPE) || quote(ZLATITUDE) || quote(ZWIDTH) || "
      "quote(ZHEIGHT) || quote(ZFILENAME) FROM ";
  const auto faceRow = [](const std::string& column) {
    return "SELECT quote(Z_PK) || quote(" + column +
           ") || quote(ZISLEFTEYECLOSED) || quote(ZISRIGHTEYECLOSED) || quote(ZHASSMILE) "
           "FROM ZDETECTEDFACE ORDER BY Z_PK";
  };
  const auto screenshots =
      texts(currentDb, "SELECT Z_PK FROM ZASSET WHERE ZISDETECTEDSCREENSHOT <> 0 ORDER BY Z_PK");
  ASSERT_FALSE(screenshots.empty());
  for (const auto& layout : olderLayouts) {
    const auto name = layout.asset + layout.faceAsset;
    write(name, 400, 13, SideFiles::none, layout.schema);
    const auto older = temp / name;
    const auto db = openReadOnly(older / photosPath);
    EXPECT_EQ(texts(db, assetRow + layout.asset + " ORDER BY Z_PK"),
              texts(currentDb, assetRow + "ZASSET ORDER BY Z_PK"))
        << name;
    EXPECT_EQ(
        texts(db, "SELECT Z_PK FROM " + layout.asset + " WHERE ZKINDSUBTYPE = 10 ORDER BY Z_PK"),
        screenshots)
        << name;
    EXPECT_EQ(texts(db, faceRow(layout.faceAsset)), texts(currentDb, faceRow("ZASSETFORFACE")))
        << name;
    for (const auto* table : {"ZCOMPUTEDASSETATTRIBUTES", "ZMEDIAANALYSISASSETATTRIBUTES",
                              "ZADDITIONALASSETATTRIBUTES", "ZEXTENDEDATTRIBUTES"}) {
      EXPECT_EQ(dumpTable(older / photosPath, table), dumpTable(current / photosPath, table))
          << name;
    }
    EXPECT_EQ(dump(older / psiPath), dump(current / psiPath)) << name;
    EXPECT_EQ(dump(older / leoPath), dump(current / leoPath)) << name;
  }
}

TEST_F(SampleLibraryTest, everyMeasureExpressionCompilesAndSomeAssetHasItsValue) {
  write("library", 2000, 1);
  const auto db = openReadOnly(temp / "library" / photosPath);
  const std::string from =
      " FROM ZASSET a"
      " LEFT JOIN ZCOMPUTEDASSETATTRIBUTES c ON c.ZASSET = a.Z_PK"
      " LEFT JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK"
      " LEFT JOIN ZADDITIONALASSETATTRIBUTES x ON x.ZASSET = a.Z_PK";
  for (const auto& measure : Measure::all()) {
    const auto sql = "SELECT count(" + measure.expression + "), count(*) - count(" +
                     measure.expression + ")" + from;
    SqliteStatement statement(db, sql);
    ASSERT_TRUE(statement) << measure.expression;
    ASSERT_TRUE(statement.step());
    EXPECT_GT(statement.columnInt64(0), 0) << measure.key << " never has a value";
    // Scores are missing for some assets; flags do not hold for all.
    EXPECT_GT(statement.columnInt64(1), 0) << measure.key << " always has a value";
  }
}

TEST_F(SampleLibraryTest, summaryCountsWhatTheDatabasesHold) {
  const auto summary = write("library", 1500, 3);
  const auto photos = openReadOnly(temp / "library" / photosPath);
  const auto psi = openReadOnly(temp / "library" / psiPath);
  const auto leo = openReadOnly(temp / "library" / leoPath);
  EXPECT_EQ(summary.assets, 1500);
  EXPECT_EQ(summary.assets, scalar(photos, "SELECT count(*) FROM ZASSET"));
  EXPECT_EQ(summary.images,
            scalar(photos,
                   "SELECT count(*) FROM ZASSET WHERE ZKIND = 0 AND ZTRASHEDSTATE = 0 "
                   "AND ZHIDDEN = 0 AND ZVISIBILITYSTATE = 0"));
  EXPECT_EQ(summary.imagesWithCloudID,
            scalar(photos,
                   "SELECT count(*) FROM ZASSET WHERE ZKIND = 0 AND ZTRASHEDSTATE = 0 "
                   "AND ZHIDDEN = 0 AND ZVISIBILITYSTATE = 0 AND trim(ZCLOUDASSETGUID) <> ''"));
  EXPECT_EQ(summary.analysed, scalar(photos, "SELECT count(*) FROM ZMEDIAANALYSISASSETATTRIBUTES"));
  EXPECT_EQ(summary.faces, scalar(photos, "SELECT count(*) FROM ZDETECTEDFACE"));
  EXPECT_EQ(summary.psiTerms, scalar(psi, "SELECT count(*) FROM ga"));
  EXPECT_EQ(summary.lexemes, scalar(leo, "SELECT count(*) FROM lexicon"));
  EXPECT_EQ(summary.items, scalar(leo, "SELECT count(*) FROM items"));
  EXPECT_EQ(summary.recentAssets, 30);
}

TEST_F(SampleLibraryTest, assetsHaveRealisticShares) {
  write("library", 2000, 1);
  const auto db = openReadOnly(temp / "library" / photosPath);
  const auto share = [&](const std::string& condition, const std::string& table = "ZASSET") {
    return static_cast<double>(
               scalar(db, "SELECT count(*) FROM " + table + " WHERE " + condition)) /
           static_cast<double>(scalar(db, "SELECT count(*) FROM " + table));
  };
  const auto some = [&](const std::string& condition, const std::string& table = "ZASSET") {
    const double part = share(condition, table);
    EXPECT_GT(part, 0.0) << "no row where " << condition;
    EXPECT_LT(part, 0.5) << "most rows where " << condition;
  };
  EXPECT_GT(scalar(db, "SELECT count(*) FROM ZMEDIAANALYSISASSETATTRIBUTES"), 1600);
  some("ZKIND = 1");
  some("ZTRASHEDSTATE = 1");
  some("ZHIDDEN = 1");
  some("ZVISIBILITYSTATE <> 0");
  some("ZCLOUDASSETGUID IS NULL");
  some("ZCLOUDASSETGUID = ''");
  some("ZUUID <> upper(ZUUID)");
  some("ZUUID <> trim(ZUUID, ' ' || char(10))");
  some("ZFAVORITE = 1");
  some("ZAVALANCHEUUID IS NOT NULL");
  some("ZHDRTYPE > 0");
  some("ZDEPTHTYPE > 0");
  some("ZDUPLICATEASSETVISIBILITYSTATE > 0");
  some("ZISDETECTEDSCREENSHOT = 1");
  some("ZLATITUDE IS NULL");
  some("ZLATITUDE <= -180");
  some("ZWIDTH * ZHEIGHT < 2000000");
  some("ZOVERALLAESTHETICSCORE IS NULL");
  some("ZICONICSCORE IS NULL");
  some("Z_PK NOT IN (SELECT ZASSET FROM ZCOMPUTEDASSETATTRIBUTES)");
  some("ZPLEASANTCOMPOSITIONSCORE IS NULL", "ZCOMPUTEDASSETATTRIBUTES");
  some("ZLOWLIGHT IS NULL AND ZNOISESCORE IS NULL AND ZFAILURESCORE IS NULL",
       "ZCOMPUTEDASSETATTRIBUTES");
  some("ZACTIVITYSCORE IS NULL", "ZMEDIAANALYSISASSETATTRIBUTES");
  some("ZISLEFTEYECLOSED = 1", "ZDETECTEDFACE");
  some("ZISLEFTEYECLOSED = 1 AND ZISRIGHTEYECLOSED = 1", "ZDETECTEDFACE");
  some("ZASSETFORFACE NOT IN (SELECT ZASSET FROM ZMEDIAANALYSISASSETATTRIBUTES)", "ZDETECTEDFACE");
  EXPECT_GT(share("ZHASSMILE = 1", "ZDETECTEDFACE"), 0.2);
  some("ZSHARECOUNT > 0", "ZADDITIONALASSETATTRIBUTES");
  EXPECT_GT(share("ZVIEWCOUNT = 0", "ZADDITIONALASSETATTRIBUTES"), 0.1);
  some(
      "ZCAMERAMODEL IS NULL AND ZLENSMODEL IS NULL AND ZISO IS NULL AND ZAPERTURE IS NULL AND "
      "ZSHUTTERSPEED IS NULL AND ZFOCALLENGTH IS NULL AND ZFLASHFIRED IS NULL",
      "ZEXTENDEDATTRIBUTES");
  some("ZISO = 0", "ZEXTENDEDATTRIBUTES");
  some("ZFLASHFIRED = 1", "ZEXTENDEDATTRIBUTES");
  // A burst is several assets sharing one avalanche UUID.
  EXPECT_GT(scalar(db,
                   "SELECT count(*) FROM (SELECT ZAVALANCHEUUID FROM ZASSET WHERE ZAVALANCHEUUID "
                   "IS NOT NULL GROUP BY ZAVALANCHEUUID HAVING count(*) > 1)"),
            0);
  // Face counts of the analysis agree with the detected faces.
  EXPECT_EQ(scalar(db,
                   "SELECT count(*) FROM ZMEDIAANALYSISASSETATTRIBUTES m WHERE ZFACECOUNT <> "
                   "(SELECT count(*) FROM ZDETECTEDFACE d WHERE d.ZASSETFORFACE = m.ZASSET)"),
            0);
}

TEST_F(SampleLibraryTest, psiHalvesComposeBackToTheAssetUuid) {
  write("library", 1000, 5);
  const auto photos = openReadOnly(temp / "library" / photosPath);
  const auto psi = openReadOnly(temp / "library" / psiPath);
  const auto uuids = assetUuids(photos);
  SqliteStatement assets(psi, "SELECT uuid_0, uuid_1 FROM assets");
  int indexed = 0;
  bool negativeHalf = false;
  while (assets.step()) {
    ++indexed;
    negativeHalf = negativeHalf || assets.columnInt64(0) < 0 || assets.columnInt64(1) < 0;
    const auto uuid = composed(assets.columnInt64(0), assets.columnInt64(1));
    EXPECT_TRUE(uuids.contains(uuid)) << uuid << " is not an asset of Photos.sqlite";
  }
  EXPECT_GT(indexed, 900);
  EXPECT_LT(indexed, 1000);  // the newest assets are not indexed yet
  EXPECT_TRUE(negativeHalf);
}

TEST_F(SampleLibraryTest, psiHoldsTensOfTermsPerAssetInSeveralCategories) {
  write("library", 2000, 1);
  const auto psi = openReadOnly(temp / "library" / psiPath);
  expectCategories(psi, "groups", {"1203", "2100", "2300", "1100", "1300", "1500"});
  EXPECT_GE(scalar(psi, "SELECT count(*) / (SELECT count(*) FROM assets) FROM ga"), 10);
  EXPECT_GT(scalar(psi,
                   "SELECT count(*) FROM ga JOIN groups g ON g.rowid = ga.groupid "
                   "WHERE g.category = 1203 AND length(g.normalized_string) < 3"),
            0);
  EXPECT_GT(scalar(psi,
                   "SELECT count(*) FROM (SELECT assetid FROM ga JOIN groups g ON g.rowid = "
                   "ga.groupid WHERE g.category = 1203 GROUP BY assetid HAVING count(*) > 150)"),
            0);
  EXPECT_EQ(scalar(psi,
                   "SELECT count(*) FROM ga WHERE groupid NOT IN (SELECT rowid FROM groups) "
                   "OR assetid NOT IN (SELECT rowid FROM assets)"),
            0);
  // The same word in two letter cases, and terms that need cleaning.
  EXPECT_EQ(
      scalar(psi, "SELECT count(*) FROM groups WHERE normalized_string IN ('Beach', 'beach')"), 2);
  EXPECT_GT(scalar(psi,
                   "SELECT count(*) FROM ga JOIN groups g ON g.rowid = ga.groupid "
                   "WHERE g.normalized_string IS NULL OR g.normalized_string <> "
                   "trim(g.normalized_string, ' ' || char(10))"),
            0);
}

TEST_F(SampleLibraryTest, leoHoldsLexemesOfEveryPanelCategory) {
  write("library", 2000, 1);
  const auto leo = openReadOnly(temp / "library" / leoPath);
  expectCategories(leo, "lexicon",
                   {"3000", "3010", "2220", "2010", "4020", "2060", "2030", "2050",  "2070",
                    "2120", "2090", "2100", "2080", "2210", "2110", "2130", "2140",  "2160",
                    "4000", "4010", "1030", "2240", "4090", "4120", "6000", "11000", "5000"});
  const auto contents = texts(leo, "SELECT content FROM lexicon");
  for (const auto* content : {"People", "My Family", "Café", "cafe", "Animals"}) {
    EXPECT_NE(std::find(contents.begin(), contents.end(), content), contents.end()) << content;
  }
  EXPECT_GT(
      scalar(leo, "SELECT count(*) FROM lexicon WHERE category = 4120 AND length(content) < 3"), 0);
  EXPECT_GT(scalar(leo, "SELECT count(*) FROM lexicon WHERE lexeme_id > 4294967295"), 0);
  EXPECT_GT(scalar(leo,
                   "SELECT count(*) FROM (SELECT lexeme_id FROM lexicon GROUP BY lexeme_id "
                   "HAVING count(DISTINCT category) > 1)"),
            0);
  const auto items = scalar(leo, "SELECT count(*) FROM items");
  EXPECT_GT(scalar(leo, "SELECT count(*) FROM items WHERE type = 1"), items * 9 / 10);
  EXPECT_LT(scalar(leo, "SELECT count(*) FROM items WHERE type = 1"), items);
  EXPECT_GT(scalar(leo, "SELECT count(*) FROM items WHERE length(lexeme_ids) % 4 <> 0"), 0);
  EXPECT_GT(scalar(leo, "SELECT count(*) FROM items WHERE identifier <> upper(identifier)"), 0);
}

TEST_F(SampleLibraryTest, leoItemsNameLexemesOfTheLexiconForAssetsOfTheLibrary) {
  write("library", 500, 8);
  const auto photos = openReadOnly(temp / "library" / photosPath);
  const auto leo = openReadOnly(temp / "library" / leoPath);
  const auto uuids = assetUuids(photos);
  std::set<std::int64_t> lexemes;
  SqliteStatement lexicon(leo, "SELECT lexeme_id FROM lexicon");
  while (lexicon.step()) lexemes.insert(lexicon.columnInt64(0));
  SqliteStatement items(leo, "SELECT identifier, lexeme_ids FROM items WHERE type = 1");
  std::size_t ids = 0;
  while (items.step()) {
    EXPECT_TRUE(uuids.contains(trimmedUpper(std::string(*items.columnText(0)))));
    const auto blob = *items.columnBlob(1);
    for (std::size_t at = 0; at + 4 <= blob.size(); at += 4, ++ids) {
      const std::uint32_t id = blob[at] | (blob[at + 1] << 8) | (blob[at + 2] << 16) |
                               (static_cast<std::uint32_t>(blob[at + 3]) << 24);
      EXPECT_TRUE(lexemes.contains(id)) << "lexeme " << id << " is not in the lexicon";
    }
  }
  EXPECT_GT(ids, 500u * 5);
}

// Whether each database of the package has a non-empty "-wal" (or none at all) and a "-shm".
void expectSideFiles(const fs::path& package, bool log, bool sharedMemory) {
  for (const auto& file : {photosPath, psiPath, leoPath}) {
    const auto path = (package / file).string();
    EXPECT_TRUE(fs::exists(path));
    if (log) {
      EXPECT_GT(fs::file_size(path + "-wal"), 0u) << path;
    } else {
      EXPECT_FALSE(fs::exists(path + "-wal")) << path;
    }
    EXPECT_EQ(fs::exists(path + "-shm"), sharedMemory) << path;
  }
}

TEST_F(SampleLibraryTest, tidyLibraryHasNoSideFiles) {
  write("library", 200, 1, SideFiles::none);
  expectSideFiles(temp / "library", false, false);
}

TEST_F(SampleLibraryTest, liveLibraryHasAWriteAheadLogAndSharedMemory) {
  write("library", 200, 1, SideFiles::live);
  expectSideFiles(temp / "library", true, true);
}

TEST_F(SampleLibraryTest, copiedLibraryHasAWriteAheadLogWithoutSharedMemory) {
  write("library", 200, 1, SideFiles::walWithoutShm);
  expectSideFiles(temp / "library", true, false);
}

TEST_F(SampleLibraryTest, everyDatabaseIsInWalJournalMode) {
  for (const auto sideFiles : {SideFiles::live, SideFiles::none, SideFiles::walWithoutShm}) {
    const auto name = "library" + std::to_string(static_cast<int>(sideFiles));
    write(name, 20, 1, sideFiles);
    for (const auto& file : {photosPath, psiPath, leoPath}) {
      std::ifstream in(temp / name / file, std::ios::binary);
      char header[20];
      in.read(header, sizeof header);
      // Bytes 18 and 19 of the header are the read and write versions, 2 in WAL mode.
      EXPECT_EQ(header[18], 2) << name << " " << file;
      EXPECT_EQ(header[19], 2) << name << " " << file;
    }
  }
}

// The main files alone, as a copy that lost its side files would have them.
void copyMainFiles(const fs::path& from, const fs::path& to) {
  for (const auto& file : {photosPath, psiPath, leoPath}) {
    fs::create_directories((to / file).parent_path());
    fs::copy_file(from / file, to / file);
  }
}

void expectRecentRowsOnlyInTheLog(const fs::path& package, const fs::path& mainFilesOnly,
                                  const SampleLibrary::Summary& summary) {
  const struct {
    fs::path file;
    std::string sql;
  } counts[] = {
      {photosPath, "SELECT count(*) FROM ZASSET"},
      {psiPath, "SELECT count(*) FROM assets"},
      {leoPath, "SELECT count(*) FROM items"},
  };
  for (const auto& [file, sql] : counts) {
    const auto withLog = scalar(openReadOnly(package / file), sql);
    const auto withoutLog = scalar(openReadOnly(mainFilesOnly / file), sql);
    EXPECT_LT(withoutLog, withLog) << file;
  }
  EXPECT_EQ(scalar(openReadOnly(package / photosPath), "SELECT count(*) FROM ZASSET"),
            summary.assets);
  EXPECT_EQ(scalar(openReadOnly(mainFilesOnly / photosPath), "SELECT count(*) FROM ZASSET"),
            summary.assets - summary.recentAssets);
}

TEST_F(SampleLibraryTest, liveLibraryKeepsTheRecentRowsOnlyInTheLog) {
  const auto summary = write("library", 500, 4, SideFiles::live);
  copyMainFiles(temp / "library", temp / "main-only");
  expectRecentRowsOnlyInTheLog(temp / "library", temp / "main-only", summary);
}

TEST_F(SampleLibraryTest, copiedLibraryKeepsTheRecentRowsOnlyInTheLog) {
  const auto summary = write("library", 500, 4, SideFiles::walWithoutShm);
  copyMainFiles(temp / "library", temp / "main-only");
  expectRecentRowsOnlyInTheLog(temp / "library", temp / "main-only", summary);
}

TEST_F(SampleLibraryTest, readOnlyReaderLeavesEveryByteOfALiveLibraryAsItWas) {
  write("library", 500, 6, SideFiles::live);
  const auto before = fileContents(temp / "library");
  for (const auto& file : {photosPath, psiPath, leoPath}) {
    EXPECT_FALSE(dump(temp / "library" / file).empty());
  }
  const auto after = fileContents(temp / "library");
  ASSERT_EQ(before.size(), 9u);  // three databases, each with its "-wal" and "-shm"
  for (const auto& [name, contents] : before) {
    ASSERT_TRUE(after.contains(name)) << name;
    EXPECT_TRUE(after.at(name) == contents) << name << " changed under a read-only reader";
  }
  EXPECT_EQ(after.size(), before.size());
}

TEST_F(SampleLibraryTest, emptyLibraryHasTheTablesAndNoAssets) {
  const auto summary = write("library", 0, 1, SideFiles::live);
  EXPECT_EQ(summary.assets, 0);
  EXPECT_EQ(summary.recentAssets, 0);
  EXPECT_EQ(scalar(openReadOnly(temp / "library" / photosPath), "SELECT count(*) FROM ZASSET"), 0);
  EXPECT_EQ(scalar(openReadOnly(temp / "library" / psiPath), "SELECT count(*) FROM ga"), 0);
  EXPECT_GT(scalar(openReadOnly(temp / "library" / leoPath), "SELECT count(*) FROM lexicon"), 0);
}

TEST_F(SampleLibraryTest, refusesToWriteOverAnExistingLibrary) {
  write("library", 10, 1, SideFiles::none);
  const auto before = fileContents(temp / "library");
  EXPECT_THROW(write("library", 10, 2, SideFiles::none), std::runtime_error);
  EXPECT_EQ(fileContents(temp / "library"), before);
}

TEST_F(SampleLibraryTest, refusesToWriteBesideAStaleLog) {
  fs::create_directories(temp / "library" / "database");
  std::ofstream(temp / "library" / "database" / "Photos.sqlite-wal") << "left over";
  EXPECT_THROW(write("library", 10, 1), std::runtime_error);
  EXPECT_FALSE(fs::exists(temp / "library" / "database" / "Photos.sqlite"));
}

TEST_F(SampleLibraryTest, failsWhenThePackageCannotBeCreated) {
  std::ofstream(temp / "plain-file") << "not a folder";
  EXPECT_THROW(SampleLibrary::write(temp / "plain-file" / "library", {10, 1, SideFiles::none}),
               std::runtime_error);
}

struct CommandResult {
  int status = -1;
  std::string output;
};

// Runs the tool with `arguments` (already quoted for the shell), stdout and stderr together.
CommandResult runTool(const std::string& arguments) {
  const std::string command =
      std::string("'") + LUMENFOLIO_SAMPLE_LIBRARY_TOOL + "' " + arguments + " 2>&1";
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

class SampleLibraryCommandTest : public ::testing::Test {
 protected:
  testing::TempDir temp;
};

TEST_F(SampleLibraryCommandTest, writesTheLibraryItIsAskedForAndPrintsItsCounts) {
  const auto result = runTool(quoted(temp / "cli") + " --assets 120 --seed 3 --side-files none");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_FALSE(fs::exists(temp / "cli" / "database" / "Photos.sqlite-wal"));
  const auto summary = SampleLibrary::write(temp / "direct", {120, 3, SideFiles::none});
  EXPECT_EQ(dumpPackage(temp / "cli"), dumpPackage(temp / "direct"));
  EXPECT_NE(result.output.find("assets:                     120\n"), std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("detected faces:             " + std::to_string(summary.faces)),
            std::string::npos)
      << result.output;
}

TEST_F(SampleLibraryCommandTest, writesTheLayoutItIsAskedFor) {
  const auto result =
      runTool(quoted(temp / "cli") + " --assets 40 --seed 4 --side-files none --schema macos10.15");
  ASSERT_EQ(result.status, 0) << result.output;
  SampleLibrary::write(temp / "direct",
                       {40, 4, SideFiles::none, SampleLibrary::Schema::macos10_15});
  EXPECT_EQ(dumpPackage(temp / "cli"), dumpPackage(temp / "direct"));
  EXPECT_EQ(scalar(openReadOnly(temp / "cli" / photosPath), "SELECT count(*) FROM ZGENERICASSET"),
            40);
  EXPECT_NE(result.output.find("schema macos10.15"), std::string::npos) << result.output;
}

TEST_F(SampleLibraryCommandTest, walOnlyLeavesTheLogWithoutSharedMemory) {
  const auto result = runTool(quoted(temp / "cli") + " --assets 50 --side-files wal-only");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(fs::exists(temp / "cli" / "database" / "Photos.sqlite-wal"));
  EXPECT_FALSE(fs::exists(temp / "cli" / "database" / "Photos.sqlite-shm"));
}

TEST_F(SampleLibraryCommandTest, badArgumentsGiveTheUsageAndStatus2) {
  const auto out = quoted(temp / "cli");
  for (const auto& arguments :
       {std::string(), out + " --assets", out + " --assets ten", out + " --assets -1",
        out + " --assets 10000001", out + " --seed -5", out + " --side-files sometimes",
        out + " --colour red", out + " --schema macos11", out + " --schema",
        out + " " + quoted(temp / "other"), std::string("''")}) {
    const auto result = runTool(arguments);
    EXPECT_EQ(result.status, 2) << arguments << "\n" << result.output;
    EXPECT_NE(result.output.find("usage: lumenfolio-sample-library"), std::string::npos)
        << arguments;
  }
  EXPECT_FALSE(fs::exists(temp / "cli"));
}

TEST_F(SampleLibraryCommandTest, helpPrintsTheUsage) {
  const auto result = runTool("--help");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.output.find("--side-files"), std::string::npos) << result.output;
}

TEST_F(SampleLibraryCommandTest, failureToWriteGivesAMessageAndStatus1) {
  std::ofstream(temp / "plain-file") << "not a folder";
  const auto result = runTool(quoted(temp / "plain-file" / "library") + " --assets 5");
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_NE(result.output.find("cannot write the sample library"), std::string::npos)
      << result.output;
}

}  // namespace
}  // namespace lumenfolio::sample
