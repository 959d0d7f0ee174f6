#include "metadata/snapshot_folder.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/failure.hpp"
#include "support/abandoned_snapshot.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;

class SnapshotFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(scratch_);
    ASSERT_EQ(setenv("TMPDIR", scratch_.c_str(), 1), 0);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  static fs::path folderOfAnEndedRun() { return testing::abandonedSnapshotFolder(); }

  testing::TempDir temp_;
  const fs::path scratch_ = temp_ / "tmp";
};

TEST_F(SnapshotFolderTest, isPrivateToTheUserAndGoneWithTheObject) {
  fs::path path;
  {
    auto folder = SnapshotFolder::create();
    path = folder.path();
    EXPECT_EQ(path.parent_path(), scratch_);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    auto moved = std::move(folder);
    EXPECT_TRUE(fs::exists(path)) << "moving keeps the folder";
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(SnapshotFolderTest, withoutATemporaryFolderTheFailureNamesItAndTheSystemsReason) {
  fs::remove_all(scratch_);
  try {
    SnapshotFolder::create();
    ADD_FAILURE() << "a folder was made in a temporary folder that isn't there";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.path(), scratch_);
    EXPECT_EQ(failure.cause(), std::strerror(ENOENT));
  }
}

TEST_F(SnapshotFolderTest, aFolderLeftByAnEndedRunIsRemoved) {
  const auto left = folderOfAnEndedRun();
  ASSERT_FALSE(left.empty());
  std::ofstream(left / "Photos.sqlite") << "a copy";
  ASSERT_TRUE(fs::exists(left));
  EXPECT_EQ(SnapshotFolder::removeAbandoned(), 1);
  EXPECT_FALSE(fs::exists(left));
}

TEST_F(SnapshotFolderTest, aFolderInUseIsKept) {
  const auto inUse = SnapshotFolder::create();
  const auto left = folderOfAnEndedRun();
  EXPECT_EQ(SnapshotFolder::removeAbandoned(), 1);
  EXPECT_TRUE(fs::exists(inUse.path()));
  EXPECT_FALSE(fs::exists(left));
}

TEST_F(SnapshotFolderTest, foldersItCannotProveUnusedAreKept) {
  // Being set up (no lock file yet), named otherwise, or a link to a folder.
  const auto settingUp = scratch_ / "lumenfolio-library-setup";
  fs::create_directories(settingUp);
  const auto other = folderOfAnEndedRun();
  const auto renamed = scratch_ / "someone-else";
  fs::rename(other, renamed);
  const auto linked = scratch_ / "lumenfolio-library-link";
  fs::create_directory_symlink(renamed, linked);
  EXPECT_EQ(SnapshotFolder::removeAbandoned(), 0);
  EXPECT_TRUE(fs::exists(settingUp));
  EXPECT_TRUE(fs::exists(renamed / "in-use"));
  EXPECT_TRUE(fs::is_symlink(linked));
}

}  // namespace
}  // namespace lumenfolio
