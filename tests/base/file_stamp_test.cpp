#include "base/file_stamp.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;

TEST(FileStamp, tellsAMissingFile) {
  const testing::TempDir temp;
  EXPECT_EQ(FileStamp::of(temp / "nothing"), "missing");
}

TEST(FileStamp, changesWithAWriteOrATouch) {
  const testing::TempDir temp;
  const auto file = temp / "file";
  std::ofstream(file) << "a";
  const auto first = FileStamp::of(file);
  EXPECT_EQ(FileStamp::of(file), first);
  std::ofstream(file, std::ios::app) << "b";
  const auto second = FileStamp::of(file);
  EXPECT_NE(second, first);
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(1));
  EXPECT_NE(FileStamp::of(file), second);
}

TEST(FileStamp, aChangedOwnerOrModeChangesOnlyTheChangeTime) {
  const testing::TempDir temp;
  const auto file = temp / "file";
  std::ofstream(file) << "a";
  const auto before = "x " + FileStamp::of(file) + "\ny";
  fs::permissions(file, fs::perms::owner_read, fs::perm_options::remove);
  fs::permissions(file, fs::perms::owner_read, fs::perm_options::add);
  const auto after = "x " + FileStamp::of(file) + "\ny";
  EXPECT_TRUE(FileStamp::sameButForChangeTimes(before, after));
  std::ofstream(file, std::ios::app) << "b";
  EXPECT_FALSE(FileStamp::sameButForChangeTimes(before, "x " + FileStamp::of(file) + "\ny"));
  EXPECT_FALSE(FileStamp::sameButForChangeTimes(before, "x " + FileStamp::of(file)));
  EXPECT_FALSE(FileStamp::sameButForChangeTimes("missing", "unknown"));
}

}  // namespace
}  // namespace lumenfolio
