// A library whose tables can't be read to the end (a damaged disk block, a
// copy that went wrong) is not a smaller library: the export
// fails, says so, and keeps the previous shared file, digest and last export.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "exporter/exporter.hpp"
#include "headless_fixture.hpp"
#include "headless_library.hpp"
#include "platform/qt/settings_preferences.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;
using sample::SampleLibrary;

constexpr std::string_view kIncompleteRead = "The library database couldn't be read completely.";

class HeadlessReadError : public ::testing::Test {
 protected:
  void SetUp() override {
    SampleLibrary::write(library_,
                         {.assets = 400, .seed = 5, .sideFiles = SampleLibrary::SideFiles::none});
  }

  CommandResult exportNow() const {
    return user_.run({"export", "--library", library_.string(), "--folder", shared_.string()});
  }

  std::optional<PreferenceValue> preference(std::string_view key) const {
    return SettingsPreferences(user_.preferencesFile()).value(std::string(key));
  }

  // Zeroes a leaf page in the middle of `table`, as a damaged disk block
  // leaves it: the schema still reads, a scan of the table meets the damage.
  void damageTable(const char* database, const char* table) const {
    const auto copy = copyPackage(library_, user_.scratch("copies") / "pages.photoslibrary");
    std::int64_t pageSize = 0;
    std::vector<std::int64_t> pages;
    {
      const auto db = openCopy(copy / database);
      SqliteStatement size(db, "PRAGMA page_size");
      ASSERT_TRUE(size.step());
      pageSize = size.columnInt64(0);
      SqliteStatement leaves(
          db, "SELECT pageno FROM dbstat WHERE name = ?1 AND pagetype = 'leaf' ORDER BY path");
      ASSERT_TRUE(leaves) << "SQLite without the dbstat table";
      leaves.bindText(1, table);
      while (leaves.step()) pages.push_back(leaves.columnInt64(0));
    }
    fs::remove_all(copy);
    ASSERT_GE(pages.size(), 3u) << table << " should span several pages";
    std::fstream file(library_ / database, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp((pages[pages.size() / 2] - 1) * pageSize);
    file << std::string(static_cast<std::size_t>(pageSize), '\0');
  }

  HeadlessUser user_;
  const fs::path library_ = user_.scratch("libraries") / "Photos Library.photoslibrary";
  const fs::path shared_ = user_.scratch("shared");
};

TEST_F(HeadlessReadError, aPhotosDatabaseCutShortFailsTheRunAndKeepsTheGoodFile) {
  ASSERT_EQ(exportNow().exitCode, 0);
  const auto files = filesOf(shared_);
  const auto digest = preference(Exporter::kDigestKey);
  const auto lastExport = preference(Exporter::kLastExportKey);
  ASSERT_TRUE(digest.has_value());

  damageTable("database/Photos.sqlite", "ZASSET");
  const auto package = filesOf(library_);
  const auto result = exportNow();
  EXPECT_NE(result.exitCode, 0) << describe(result);
  EXPECT_NE(result.err.find(kIncompleteRead), std::string::npos) << describe(result);
  EXPECT_NE(result.err.find("Photos.sqlite: "), std::string::npos) << describe(result);
  EXPECT_EQ(result.out.find("Wrote "), std::string::npos) << describe(result);
  EXPECT_EQ(filesOf(shared_), files);
  EXPECT_EQ(preference(Exporter::kDigestKey), digest);
  EXPECT_EQ(preference(Exporter::kLastExportKey), lastExport);
  EXPECT_EQ(filesOf(library_), package);
}

TEST_F(HeadlessReadError, statusSaysWhichDatabaseCantBeRead) {
  damageTable("database/search/leo.sqlite", "items");
  const auto result = user_.run({"status", "--library", library_.string()});
  const auto leo = (library_ / "database/search/leo.sqlite").string();
  EXPECT_NE(result.out.find("(not readable: " + leo + ": "), std::string::npos) << describe(result);
}

// psi.sqlite opens, but its tables end in an error: the terms come from
// leo.sqlite, as for a library without psi.sqlite.
TEST_F(HeadlessReadError, aSearchIndexThatCantBeReadGivesWayToTheLexicon) {
  const auto withoutPsi = user_.scratch("copies") / "Without psi.photoslibrary";
  copyPackage(library_, withoutPsi);
  fs::remove(withoutPsi / "database/search/psi.sqlite");
  const auto reference = user_.scratch("reference");
  const auto referenceRun =
      user_.run({"export", "--library", withoutPsi.string(), "--folder", reference.string()});
  ASSERT_EQ(referenceRun.exitCode, 0) << describe(referenceRun);

  damageTable("database/search/psi.sqlite", "ga");
  const auto result = exportNow();
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  const auto expected = readSharedFile(sharedFileIn(reference)).features;
  const auto got = readSharedFile(sharedFileIn(shared_)).features;
  ASSERT_EQ(got.size(), expected.size());
  for (const auto& [asset, row] : expected) {
    ASSERT_TRUE(got.contains(asset)) << asset;
    EXPECT_EQ(got.at(asset).terms, row.terms) << asset;
  }
}

}  // namespace
}  // namespace lumenfolio::testing
