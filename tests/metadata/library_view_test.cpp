// A sync tool or a restore may put another copy of the library in place at
// any moment, even while a run opens it. A view that says it read one version
// has read all of that version, the rows of its "-wal" included.
#include "metadata/library_view.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "library_fixtures.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/package_swapper.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;
using testing::Journal;
using testing::PackageSwapper;

int rowCount(const SqliteDatabase& database) {
  SqliteStatement count(database, "SELECT COUNT(*) FROM t");
  return count.step() ? count.columnInt(0) : -1;
}

// `rows` rows of `t`, all of them only in the "-wal" of the search database.
// The padding gives each version pages of its own, so that one version's
// "-wal" read over the other's file is no valid database.
void writePackage(const fs::path& package, int rows, int paddingTables) {
  std::string schema;
  for (int table = 0; table < paddingTables; ++table) {
    schema += "CREATE TABLE pad" + std::to_string(table) + " (y TEXT);";
  }
  schema += "CREATE TABLE t (x INTEGER);";
  std::string values = "INSERT INTO t VALUES (0)";
  for (int row = 1; row < rows; ++row) values += ", (" + std::to_string(row) + ")";
  testing::writeDatabase(package / LibraryView::kSearchPath, schema, values + ";",
                         Journal::walLive);
}

// With or without a temporary folder to copy a database into.
class LibraryViewTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) fs::create_directories(scratch_);
    ASSERT_EQ(setenv("TMPDIR", scratch_.c_str(), 1), 0);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  lumenfolio::testing::TempDir temp_;
  const fs::path scratch_ = temp_ / "tmp";
  const fs::path library_ = temp_ / "libraries" / "Photos Library.photoslibrary";
  const fs::path spare_ = temp_ / "spare" / "Photos Library.photoslibrary";
};

// Without a place to copy to, a database whose "-wal" could not be read is
// read all the same, for its checkpointed rows, as long as it says so.
TEST_P(LibraryViewTest, aViewOfOneVersionReadsItsWalRowsWhileThePackageIsReplaced) {
  writePackage(library_, 3, 0);
  writePackage(spare_, 40, 6);
  int whole = 0;
  {
    const PackageSwapper swapper(library_, spare_, std::chrono::microseconds(50));
    for (int open = 0; open < 3000; ++open) {
      const auto view = LibraryView::open(library_);
      if (!view.search()) {
        EXPECT_FALSE(view.isUnchanged()) << "open " << open << " read the database as absent";
        continue;
      }
      const int rows = rowCount(*view.search());
      if (!view.isUnchanged()) continue;
      if (!view.missingWalRows().empty()) {
        // A copy would have shown the files being replaced; in place, a copy
        // put back meanwhile can pass for one whose "-wal" can't be read.
        EXPECT_FALSE(GetParam()) << "open " << open << " left out the rows of its \"-wal\"";
        EXPECT_EQ(rows, 0) << "open " << open << " left out the rows of its \"-wal\"";
        continue;
      }
      ++whole;
      EXPECT_TRUE(rows == 3 || rows == 40) << "open " << open << " read " << rows << " rows";
    }
    EXPECT_GT(swapper.swaps(), 100);
  }
  EXPECT_GT(whole, 0);
}

TEST_P(LibraryViewTest, aWalThatCanBeReadNeitherInPlaceNorFromACopyIsNamed) {
  const auto search = library_ / LibraryView::kSearchPath;
  testing::writeDatabase(search, "CREATE TABLE t (x INTEGER);", "INSERT INTO t VALUES (1), (2);",
                         Journal::walWithoutShm);
  const auto view = LibraryView::open(library_);
  ASSERT_NE(view.search(), nullptr);
  EXPECT_TRUE(view.isUnchanged());
  if (GetParam()) {
    EXPECT_EQ(rowCount(*view.search()), 2);
    EXPECT_TRUE(view.missingWalRows().empty());
  } else {
    EXPECT_EQ(rowCount(*view.search()), 0);
    const auto missing = view.missingWalRows();
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].file, search);
    // The copy that would have read them needs a temporary folder.
    EXPECT_NE(missing[0].cause.find(scratch_.string()), std::string::npos) << missing[0].cause;
  }
}

INSTANTIATE_TEST_SUITE_P(Snapshots, LibraryViewTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "possible" : "impossible"; });

}  // namespace
}  // namespace lumenfolio
