#include "sync/sync_folder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <system_error>

#include "support/memory_preferences.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;

const std::string kBookmark(SyncFolder::kFolderBookmarkKey);
const std::string kDeviceID(SyncFolder::kDeviceIDKey);

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

bool isEightLowercaseHexDigits(const std::string& text) {
  return text.size() == 8 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

class SyncFolderTest : public ::testing::Test {
 protected:
  fs::path makeFolder(const std::string& name) {
    const auto folder = dir_ / name;
    fs::create_directories(folder);
    return folder;
  }

  testing::TempDir dir_;
  testing::MemoryPreferences preferences_;
};

TEST_F(SyncFolderTest, withoutABookmarkResolvesToNothingAndTouchesNoPreference) {
  preferences_.values["other.key"] = std::string("kept");

  EXPECT_FALSE(SyncFolder::resolve(preferences_));

  EXPECT_EQ(preferences_.values.size(), 1u);
}

TEST_F(SyncFolderTest, rememberedFolderResolvesToItsAbsolutePath) {
  const auto folder = makeFolder("Shared");
  SyncFolder::remember(preferences_, folder);

  EXPECT_EQ(std::get<Bytes>(preferences_.values.at(kBookmark)), bytesOf(folder.string()));
  const auto access = SyncFolder::resolve(preferences_);
  ASSERT_TRUE(access);
  EXPECT_EQ(access->url, folder);
  ASSERT_TRUE(access->release);
  access->release();
  EXPECT_TRUE(preferences_.values.count(kBookmark));
}

TEST_F(SyncFolderTest, rememberStoresTheFolderWithoutDotStepsOrTrailingSeparator) {
  const auto folder = makeFolder("Shared");
  makeFolder("Other");

  SyncFolder::remember(preferences_, dir_ / "Other" / ".." / "." / "Shared" / "");

  EXPECT_EQ(std::get<Bytes>(preferences_.values.at(kBookmark)), bytesOf(folder.string()));
}

TEST_F(SyncFolderTest, rememberMakesARelativeFolderAbsolute) {
  const auto folder = makeFolder("Shared");
  const auto previous = fs::current_path();
  fs::current_path(dir_.path());

  SyncFolder::remember(preferences_, "Shared");

  fs::current_path(previous);
  EXPECT_EQ(std::get<Bytes>(preferences_.values.at(kBookmark)), bytesOf(folder.string()));
}

TEST_F(SyncFolderTest, rememberRefusesWhatIsNoFolderAndKeepsTheEarlierChoice) {
  const auto folder = makeFolder("Shared");
  SyncFolder::remember(preferences_, folder);
  std::ofstream(dir_ / "file") << "not a folder";

  EXPECT_THROW(SyncFolder::remember(preferences_, dir_ / "missing"), std::system_error);
  try {
    SyncFolder::remember(preferences_, dir_ / "file");
    ADD_FAILURE() << "a plain file was remembered";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::not_a_directory);
  }

  EXPECT_EQ(std::get<Bytes>(preferences_.values.at(kBookmark)), bytesOf(folder.string()));
}

TEST_F(SyncFolderTest, aFolderThatIsBrieflyGoneIsKeptAndResolvesOnceBack) {
  const auto folder = makeFolder("Shared");
  SyncFolder::remember(preferences_, folder);
  fs::remove(folder);

  EXPECT_FALSE(SyncFolder::resolve(preferences_));
  EXPECT_EQ(SyncFolder::remembered(preferences_), folder);
  EXPECT_EQ(std::get<Bytes>(preferences_.values.at(kBookmark)), bytesOf(folder.string()));

  fs::create_directory(folder);
  const auto access = SyncFolder::resolve(preferences_);
  ASSERT_TRUE(access);
  EXPECT_EQ(access->url, folder);
}

TEST_F(SyncFolderTest, aFolderReplacedByAFileDoesNotResolveButIsKept) {
  const auto folder = makeFolder("Shared");
  SyncFolder::remember(preferences_, folder);
  fs::remove(folder);
  std::ofstream(folder) << "now a file";

  EXPECT_FALSE(SyncFolder::resolve(preferences_));
  EXPECT_EQ(SyncFolder::remembered(preferences_), folder);
}

TEST_F(SyncFolderTest, onlyAnotherChoiceReplacesAFolderThatIsGone) {
  const auto gone = makeFolder("Gone");
  const auto other = makeFolder("Other");
  SyncFolder::remember(preferences_, gone);
  fs::remove(gone);

  SyncFolder::remember(preferences_, other);
  EXPECT_EQ(SyncFolder::remembered(preferences_), other);
  EXPECT_EQ(SyncFolder::resolve(preferences_)->url, other);
}

TEST_F(SyncFolderTest, bytesThatAreNoUsablePathAreForgotten) {
  const auto folder = makeFolder("Shared");
  const std::vector<Bytes> unusable = {
      Bytes{},
      bytesOf("Shared"),  // relative: its meaning would change with the working folder
      bytesOf(folder.string() + std::string(1, '\0') + "tail"),
      Bytes{0x62, 0x6F, 0x6F, 0x6B, 0x00, 0xFF, 0x10},  // what a platform bookmark might hold
  };
  for (const auto& bytes : unusable) {
    preferences_.values[kBookmark] = bytes;
    EXPECT_FALSE(SyncFolder::resolve(preferences_));
    EXPECT_FALSE(preferences_.values.count(kBookmark));
  }
}

TEST_F(SyncFolderTest, bookmarkOfAnotherKindReadsAsNoFolderAndIsLeftAlone) {
  const auto folder = makeFolder("Shared");
  preferences_.values[kBookmark] = folder.string();

  EXPECT_FALSE(SyncFolder::resolve(preferences_));

  EXPECT_EQ(std::get<std::string>(preferences_.values.at(kBookmark)), folder.string());
}

TEST_F(SyncFolderTest, deviceIDIsCreatedOnceAsEightLowercaseHexDigits) {
  const auto first = SyncFolder::deviceID(preferences_);

  EXPECT_TRUE(isEightLowercaseHexDigits(first)) << first;
  EXPECT_EQ(std::get<std::string>(preferences_.values.at(kDeviceID)), first);
  EXPECT_EQ(SyncFolder::deviceID(preferences_), first);
  EXPECT_EQ(SyncFolder::deviceID(preferences_), first);
}

TEST_F(SyncFolderTest, deviceIDsOfSeparatePreferencesDiffer) {
  testing::MemoryPreferences other;

  // Two equal draws of 32 random bits happen once in four billion runs.
  EXPECT_NE(SyncFolder::deviceID(preferences_), SyncFolder::deviceID(other));
}

TEST_F(SyncFolderTest, storedDeviceIDOfAnyFormIsReturnedUnchanged) {
  for (const std::string stored : {"ABCDEF12-3456", "Work Laptop", "", "1a2b3c4d"}) {
    preferences_.values[kDeviceID] = stored;
    EXPECT_EQ(SyncFolder::deviceID(preferences_), stored);
    EXPECT_EQ(std::get<std::string>(preferences_.values.at(kDeviceID)), stored);
  }
}

TEST_F(SyncFolderTest, storedDeviceIDOfAnotherKindIsReplacedOnceByANewOne) {
  preferences_.values[kDeviceID] = bytesOf("1a2b3c4d");

  const auto created = SyncFolder::deviceID(preferences_);

  EXPECT_TRUE(isEightLowercaseHexDigits(created)) << created;
  EXPECT_EQ(std::get<std::string>(preferences_.values.at(kDeviceID)), created);
  EXPECT_EQ(SyncFolder::deviceID(preferences_), created);
}

TEST_F(SyncFolderTest, containsTheFileItself) {
  const auto folder = makeFolder("Shared");
  std::ofstream(folder / "pixdeck-1a2b3c4d-features.pdsync") << "";

  EXPECT_TRUE(SyncFolder::contains("pixdeck-1a2b3c4d-features.pdsync", folder));
}

TEST_F(SyncFolderTest, containsTheICloudPlaceholderAlone) {
  const auto folder = makeFolder("Shared");
  std::ofstream(folder / ".pixdeck-1a2b3c4d-features.pdsync.icloud") << "";

  EXPECT_TRUE(SyncFolder::contains("pixdeck-1a2b3c4d-features.pdsync", folder));
}

TEST_F(SyncFolderTest, doesNotContainAFileThatIsAbsent) {
  const auto folder = makeFolder("Shared");
  std::ofstream(folder / "pixdeck-ffffffff-features.pdsync") << "";
  std::ofstream(folder / "pixdeck-1a2b3c4d-features.pdsync.part") << "";
  std::ofstream(folder / "pixdeck-1a2b3c4d-features.pdsync.icloud") << "";

  EXPECT_FALSE(SyncFolder::contains("pixdeck-1a2b3c4d-features.pdsync", folder));
  EXPECT_FALSE(SyncFolder::contains("pixdeck-1a2b3c4d-features.pdsync", dir_ / "missing"));
}

TEST(SyncFolderFileName, acceptsOrdinaryNames) {
  EXPECT_TRUE(SyncFolder::isSafeFileName("pixdeck-1a2b3c4d-features.pdsync"));
  EXPECT_TRUE(SyncFolder::isSafeFileName("pixdeck-Work Laptop-features.pdsync"));
  EXPECT_TRUE(SyncFolder::isSafeFileName("..."));
  EXPECT_TRUE(SyncFolder::isSafeFileName(".hidden"));
  EXPECT_TRUE(SyncFolder::isSafeFileName("caf\xC3\xA9"));
}

TEST(SyncFolderFileName, refusesNamesThatLeaveOrDoNotNameAFile) {
  EXPECT_FALSE(SyncFolder::isSafeFileName(""));
  EXPECT_FALSE(SyncFolder::isSafeFileName("."));
  EXPECT_FALSE(SyncFolder::isSafeFileName(".."));
  EXPECT_FALSE(SyncFolder::isSafeFileName("pixdeck-../../etc/x-features.pdsync"));
  EXPECT_FALSE(SyncFolder::isSafeFileName("/absolute"));
  EXPECT_FALSE(SyncFolder::isSafeFileName("trailing/"));
  EXPECT_FALSE(SyncFolder::isSafeFileName(std::string_view("nul\0inside", 10)));
}

}  // namespace
}  // namespace lumenfolio
