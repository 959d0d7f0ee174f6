// A library whose tables can't be read to the end (a damaged disk block, a
// copy that went wrong) is not a smaller library: the export
// fails, says so, and keeps the previous shared file, digest and last export.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
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

  struct Pages {
    std::int64_t size = 0;
    std::vector<std::int64_t> leaves;  // of the table asked for, in key order
  };

  // Read on a copy, so that no connection ever touches the library itself.
  Pages pagesOf(const char* database, const char* table) const {
    const auto copy = copyPackage(library_, user_.scratch("copies") / "pages.photoslibrary");
    Pages pages;
    {
      const auto db = openCopy(copy / database);
      SqliteStatement size(db, "PRAGMA page_size");
      EXPECT_TRUE(size.step());
      pages.size = size.columnInt64(0);
      SqliteStatement leaves(
          db, "SELECT pageno FROM dbstat WHERE name = ?1 AND pagetype = 'leaf' ORDER BY path");
      EXPECT_TRUE(leaves) << "SQLite without the dbstat table";
      leaves.bindText(1, table);
      while (leaves && leaves.step()) pages.leaves.push_back(leaves.columnInt64(0));
    }
    fs::remove_all(copy);
    return pages;
  }

  // Writes `bytes` at `offset` of the library's `database`, as a damaged
  // disk block or a bad copy leaves it.
  void overwrite(const char* database, std::int64_t offset, const std::string& bytes) const {
    std::fstream file(library_ / database, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(offset);
    file << bytes;
  }

  // Zeroes a leaf page in the middle of `table`: the schema still reads, a
  // scan of the table meets the damage.
  void damageTable(const char* database, const char* table) const {
    const auto pages = pagesOf(database, table);
    ASSERT_GE(pages.leaves.size(), 3u) << table << " should span several pages";
    const auto page = pages.leaves[pages.leaves.size() / 2];
    overwrite(database, (page - 1) * pages.size,
              std::string(static_cast<std::size_t>(pages.size), '\0'));
  }

  // Cuts the database inside the last leaf page of `table`, which ends the
  // file, as an interrupted copy leaves it: the page's cells are gone.
  void cutInsideLastPage(const char* database, const char* table) const {
    const auto pages = pagesOf(database, table);
    const auto file = library_ / database;
    ASSERT_FALSE(pages.leaves.empty());
    ASSERT_EQ(pages.leaves.back() * pages.size, std::int64_t(fs::file_size(file)))
        << table << " should end the file";
    fs::resize_file(file, fs::file_size(file) - pages.size / 2);
  }

  // Points the first cell of a leaf page of `table` past the page's end, as
  // one flipped byte in its cell pointers does.
  void pointCellOutOfPage(const char* database, const char* table) const {
    const auto pages = pagesOf(database, table);
    ASSERT_GE(pages.leaves.size(), 2u) << table << " should span pages";
    // A leaf page's cell pointers follow its 8-byte header, big-endian.
    const auto cellPointer = (pages.leaves[1] - 1) * pages.size + 8;
    overwrite(database, cellPointer, std::string("\xfc\x68", 2));
  }

  // Gives each UUID-shaped text in the first leaf page of ZASSET another
  // first digit, leaving the table's indexes as they were, as a few flipped
  // bits do: SQLite reads those assets on without a word, each as a photo
  // of another UUID, without the terms and panel of its own.
  void flipUuidsInALeafOfAssets() const {
    const auto pages = pagesOf("database/Photos.sqlite", "ZASSET");
    ASSERT_FALSE(pages.leaves.empty());
    const auto offset = (pages.leaves.front() - 1) * pages.size;
    std::string page(static_cast<std::size_t>(pages.size), '\0');
    {
      std::ifstream file(library_ / "database/Photos.sqlite", std::ios::binary);
      file.seekg(offset);
      ASSERT_TRUE(file.read(page.data(), pages.size));
    }
    const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    std::size_t flipped = 0;
    for (std::sregex_iterator found(page.begin(), page.end(), uuid), end; found != end; ++found) {
      auto& digit = page[static_cast<std::size_t>(found->position())];
      digit = digit == 'F' ? '0' : (digit == '9' ? 'A' : static_cast<char>(digit + 1));
      ++flipped;
    }
    ASSERT_GT(flipped, 0u);
    overwrite("database/Photos.sqlite", offset, page);
  }

  // Exports the library, damages it with `damage`, and exports it again:
  // that run must fail and keep the shared file, the digest, the last
  // export and every file of the package as they were. Returns its result.
  CommandResult failsKeepingTheGoodFile(const std::function<void()>& damage) const {
    const auto first = exportNow();
    EXPECT_EQ(first.exitCode, 0) << describe(first);
    const auto files = filesOf(shared_);
    const auto digest = preference(Exporter::kDigestKey);
    const auto lastExport = preference(Exporter::kLastExportKey);
    EXPECT_TRUE(digest.has_value());

    damage();
    const auto package = filesOf(library_);
    const auto result = exportNow();
    EXPECT_NE(result.exitCode, 0) << describe(result);
    EXPECT_EQ(result.out.find("Wrote "), std::string::npos) << describe(result);
    EXPECT_EQ(filesOf(shared_), files);
    EXPECT_EQ(preference(Exporter::kDigestKey), digest);
    EXPECT_EQ(preference(Exporter::kLastExportKey), lastExport);
    EXPECT_EQ(filesOf(library_), package);
    return result;
  }

  // The export reads terms as a library without psi.sqlite gives them.
  void expectTheLexiconsTerms() const {
    const auto withoutPsi = user_.scratch("copies") / "Without psi.photoslibrary";
    copyPackage(library_, withoutPsi);
    fs::remove(withoutPsi / "database/search/psi.sqlite");
    const auto reference = user_.scratch("reference");
    const auto referenceRun =
        user_.run({"export", "--library", withoutPsi.string(), "--folder", reference.string()});
    ASSERT_EQ(referenceRun.exitCode, 0) << describe(referenceRun);

    const auto package = filesOf(library_);
    const auto result = exportNow();
    ASSERT_EQ(result.exitCode, 0) << describe(result);
    // Read as absent, but not without a word.
    const auto psi = (library_ / "database/search/psi.sqlite").string();
    EXPECT_NE(result.err.find("warning: "), std::string::npos) << describe(result);
    EXPECT_NE(result.err.find(psi), std::string::npos) << describe(result);
    EXPECT_EQ(filesOf(library_), package);
    const auto expected = readSharedFile(sharedFileIn(reference)).features;
    const auto got = readSharedFile(sharedFileIn(shared_)).features;
    ASSERT_EQ(got.size(), expected.size());
    for (const auto& [asset, row] : expected) {
      ASSERT_TRUE(got.contains(asset)) << asset;
      EXPECT_EQ(got.at(asset).terms, row.terms) << asset;
    }
  }

  HeadlessUser user_;
  const fs::path library_ = user_.scratch("libraries") / "Photos Library.photoslibrary";
  const fs::path shared_ = user_.scratch("shared");
};

TEST_F(HeadlessReadError, aPhotosDatabaseCutShortFailsTheRunAndKeepsTheGoodFile) {
  const auto result =
      failsKeepingTheGoodFile([this] { damageTable("database/Photos.sqlite", "ZASSET"); });
  EXPECT_NE(result.err.find(kIncompleteRead), std::string::npos) << describe(result);
  EXPECT_NE(result.err.find("Photos.sqlite: "), std::string::npos) << describe(result);
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
  damageTable("database/search/psi.sqlite", "ga");
  expectTheLexiconsTerms();
}

// SQLite reads the missing end of a page as zeros, and zeros as cells.
TEST_F(HeadlessReadError, aSearchIndexCutInsideAPageGivesWayToTheLexicon) {
  cutInsideLastPage("database/search/psi.sqlite", "ga");
  expectTheLexiconsTerms();
}

TEST_F(HeadlessReadError, aSearchIndexWithACellOutsideItsPageGivesWayToTheLexicon) {
  // Found by rowid, the damaged leaf's rows would quietly go missing.
  pointCellOutOfPage("database/search/psi.sqlite", "groups");
  expectTheLexiconsTerms();
}

TEST_F(HeadlessReadError, aPhotosDatabaseCutInsideAPageIsNoSmallerLibrary) {
  failsKeepingTheGoodFile([this] { cutInsideLastPage("database/Photos.sqlite", "ZASSET"); });
}

// A page that points at the wrong child, or a UUID whose bytes flipped, is
// read on without an error: rows that hold less than the last export's
// replace its file only from a library that passes SQLite's integrity check.
TEST_F(HeadlessReadError, rowsThatHoldLessFromADamagedLibraryKeepTheGoodFile) {
  const auto result = failsKeepingTheGoodFile([this] { flipUuidsInALeafOfAssets(); });
  EXPECT_NE(result.err.find(kIncompleteRead), std::string::npos) << describe(result);
  EXPECT_NE(result.err.find("integrity check of ZASSET " +
                            (library_ / "database/Photos.sqlite").string() + ": "),
            std::string::npos)
      << describe(result);
}

TEST_F(HeadlessReadError, rowsThatHoldLessFromASoundLibraryAreWritten) {
  ASSERT_EQ(exportNow().exitCode, 0);
  const auto before = readSharedFile(sharedFileIn(shared_)).features;

  execute(library_ / "database/search/psi.sqlite",
          "DELETE FROM ga WHERE rowid IN (SELECT rowid FROM ga LIMIT 40)");
  const auto result = exportNow();
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  const auto after = readSharedFile(sharedFileIn(shared_)).features;
  ASSERT_EQ(after.size(), before.size());
  std::size_t fewerTerms = 0;
  for (const auto& [asset, row] : after) {
    if (row.terms.size() < before.at(asset).terms.size()) ++fewerTerms;
  }
  EXPECT_GT(fewerTerms, 0u);
}

}  // namespace
}  // namespace lumenfolio::testing
