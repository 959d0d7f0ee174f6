#include "base/key_value_file.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

class KeyValueFileTest : public ::testing::Test {
 protected:
  std::filesystem::path write(const std::string& text) {
    const auto file = dir_ / "file";
    std::ofstream(file) << text;
    return file;
  }

  testing::TempDir dir_;
};

TEST_F(KeyValueFileTest, readsKeysWithoutBlanksAndValuesAsWritten) {
  const auto entries =
      KeyValueFile::read(write("# comment\n  A=\"x y\" \nno equals\n[G]\nB = 1\n"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].group, "");
  EXPECT_EQ(entries[0].key, "A");
  EXPECT_EQ(entries[0].value, "\"x y\" ");
  EXPECT_EQ(entries[1].group, "[G]");
  EXPECT_EQ(entries[1].key, "B");
  EXPECT_EQ(entries[1].value, " 1");
}

TEST_F(KeyValueFileTest, theLastValueOutsideAnyGroupWins) {
  const auto file = write("K=1\nK=2\n[Group]\nK=3\n");
  EXPECT_EQ(KeyValueFile::lastValue(file, "K"), "2");
  EXPECT_EQ(KeyValueFile::lastValue(file, "L"), std::nullopt);
}

TEST_F(KeyValueFileTest, aMissingFileHasNoEntries) {
  EXPECT_TRUE(KeyValueFile::read(dir_ / "missing").empty());
}

}  // namespace
}  // namespace lumenfolio
