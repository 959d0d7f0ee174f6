#include "platform/qt/settings_preferences.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;

Bytes everyByte() {
  Bytes bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
  return bytes;
}

class SettingsPreferencesTest : public ::testing::Test {
 protected:
  fs::path file() const { return dir_ / "config" / "lumenfolio" / "exporter.conf"; }

  testing::TempDir dir_;
};

TEST_F(SettingsPreferencesTest, absentKeyHasNoValue) {
  SettingsPreferences preferences(file());

  EXPECT_FALSE(preferences.value("exporter.digest"));
}

TEST_F(SettingsPreferencesTest, everyKindOfValueComesBackAsItWent) {
  const std::vector<PreferenceValue> values = {
      everyByte(),
      Bytes{},
      std::string("1a2b3c4d"),
      std::string(),
      std::string("Küche, \"Mac\" = 1; @first\nsecond\\path"),
      std::string("integer:42"),
      PreferenceDate{1733412345.6789012},
      PreferenceDate{0},
      std::int64_t{0},
      std::numeric_limits<std::int64_t>::max(),
      std::numeric_limits<std::int64_t>::min(),
      0.1 + 0.2,
      -1e-300,
      true,
      false,
  };
  SettingsPreferences preferences(file());
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto key = "test.value" + std::to_string(i);
    preferences.setValue(key, values[i]);
    EXPECT_EQ(preferences.value(key), values[i]) << "value " << i;
  }

  SettingsPreferences reopened(file());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(reopened.value("test.value" + std::to_string(i)), values[i]) << "value " << i;
  }
}

TEST_F(SettingsPreferencesTest, valuesAreOnDiskAsSoonAsTheyAreSet) {
  SettingsPreferences preferences(file());

  preferences.setValue("sync.deviceID", std::string("1a2b3c4d"));

  std::ifstream stored(file());
  const std::string text((std::istreambuf_iterator<char>(stored)), {});
  EXPECT_NE(text.find("sync.deviceID=text:1a2b3c4d"), std::string::npos) << text;
}

TEST_F(SettingsPreferencesTest, settingAgainReplacesTheValueAndItsKind) {
  SettingsPreferences preferences(file());
  preferences.setValue("exporter.lastCount", std::int64_t{12});

  preferences.setValue("exporter.lastCount", std::string("twelve"));

  EXPECT_EQ(SettingsPreferences(file()).value("exporter.lastCount"),
            PreferenceValue(std::string("twelve")));
}

TEST_F(SettingsPreferencesTest, removedKeyIsGoneForEveryLaterInstance) {
  SettingsPreferences preferences(file());
  preferences.setValue("sync.folderBookmark", Bytes{'/', 't', 'm', 'p'});
  preferences.setValue("sync.deviceID", std::string("1a2b3c4d"));

  preferences.remove("sync.folderBookmark");

  EXPECT_FALSE(preferences.value("sync.folderBookmark"));
  SettingsPreferences reopened(file());
  EXPECT_FALSE(reopened.value("sync.folderBookmark"));
  EXPECT_EQ(reopened.value("sync.deviceID"), PreferenceValue(std::string("1a2b3c4d")));
}

TEST_F(SettingsPreferencesTest, secondInstanceSeesWritesAtOnce) {
  SettingsPreferences first(file());
  SettingsPreferences second(file());
  EXPECT_FALSE(second.value("exporter.lastExport"));

  first.setValue("exporter.lastExport", PreferenceDate{1700000000.5});
  EXPECT_EQ(second.value("exporter.lastExport"), PreferenceValue(PreferenceDate{1700000000.5}));

  second.remove("exporter.lastExport");
  EXPECT_FALSE(first.value("exporter.lastExport"));
}

TEST_F(SettingsPreferencesTest, anotherProcessSeesWritesAtOnce) {
  SettingsPreferences ours(file());
  ours.setValue("exporter.lastCount", std::int64_t{1});
  EXPECT_EQ(ours.value("exporter.lastCount"), PreferenceValue(std::int64_t{1}));

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SettingsPreferences theirs(file());
    theirs.setValue("exporter.lastCount", std::int64_t{123456});
    theirs.setValue("exporter.digest", std::string("from another process"));
    _exit(theirs.value("exporter.lastCount") == PreferenceValue(std::int64_t{123456}) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_EQ(ours.value("exporter.lastCount"), PreferenceValue(std::int64_t{123456}));
  EXPECT_EQ(ours.value("exporter.digest"), PreferenceValue(std::string("from another process")));
}

TEST_F(SettingsPreferencesTest, handWrittenValueWithoutAKindReadsAsText) {
  fs::create_directories(file().parent_path());
  std::ofstream(file()) << "[General]\nsync.deviceID=Work Laptop\n";

  EXPECT_EQ(SettingsPreferences(file()).value("sync.deviceID"),
            PreferenceValue(std::string("Work Laptop")));
}

TEST_F(SettingsPreferencesTest, knownKindWithAPayloadThatDoesNotParseReadsAsAbsent) {
  fs::create_directories(file().parent_path());
  std::ofstream(file()) << "[General]\n"
                           "exporter.lastCount=integer:many\n"
                           "exporter.lastExport=date:yesterday\n"
                           "sync.folderBookmark=bytes:%%%\n"
                           "test.flag=flag:maybe\n";

  SettingsPreferences preferences(file());
  EXPECT_FALSE(preferences.value("exporter.lastCount"));
  EXPECT_FALSE(preferences.value("exporter.lastExport"));
  EXPECT_FALSE(preferences.value("sync.folderBookmark"));
  EXPECT_FALSE(preferences.value("test.flag"));
}

TEST_F(SettingsPreferencesTest, deviceIDStaysTheSameAcrossInstances) {
  std::string created;
  {
    SettingsPreferences first(file());
    created = SyncFolder::deviceID(first);
  }

  SettingsPreferences later(file());
  EXPECT_EQ(SyncFolder::deviceID(later), created);
  EXPECT_EQ(later.value("sync.deviceID"), PreferenceValue(created));
}

TEST_F(SettingsPreferencesTest, rememberedFolderResolvesInALaterInstance) {
  const auto folder = dir_ / "Shared";
  fs::create_directory(folder);
  {
    SettingsPreferences preferences(file());
    SyncFolder::remember(preferences, folder);
  }

  SettingsPreferences later(file());
  const auto access = SyncFolder::resolve(later);
  ASSERT_TRUE(access);
  EXPECT_EQ(access->url, folder);
}

TEST(SettingsPreferencesLocation, defaultFileLiesInTheUsersConfigurationFolder) {
  testing::TempDir config;
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = previous ? previous : "";
  setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);

  const auto path = SettingsPreferences::defaultPath();

  if (previous) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  EXPECT_EQ(path, config / "lumenfolio" / "exporter.conf");
}

TEST_F(SettingsPreferencesTest, aChangeThatCannotBeSavedThrowsAndIsNotReadBack) {
  SettingsPreferences preferences(file());
  preferences.setValue("sync.deviceID", std::string("1a2b3c4d"));
  fs::remove(file());
  fs::create_directory(file());  // a folder in the settings file's place

  try {
    preferences.setValue("sync.deviceID", std::string("99999999"));
    ADD_FAILURE() << "a change that cannot be saved was taken";
  } catch (const PreferencesError& error) {
    EXPECT_NE(std::string(error.what()).find(file().string()), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(std::strerror(EISDIR)), std::string::npos)
        << error.what();
  }
  EXPECT_NE(preferences.value("sync.deviceID"), PreferenceValue(std::string("99999999")));
  EXPECT_THROW(preferences.remove("sync.deviceID"), PreferencesError);

  // Saved again once the file can be written, by the same object.
  fs::remove(file());
  preferences.setValue("sync.deviceID", std::string("5e6f7a8b"));
  EXPECT_EQ(SettingsPreferences(file()).value("sync.deviceID"),
            PreferenceValue(std::string("5e6f7a8b")));
}

TEST_F(SettingsPreferencesTest, aDateThatNamesNoMomentReadsAsAbsent) {
  fs::create_directories(file().parent_path());
  for (const char* stored : {"nan", "inf", "-inf", "1e300", "-1e300", "253402300800"}) {
    std::ofstream(file()) << "[General]\nexporter.lastExport=date:" << stored << "\n";
    EXPECT_FALSE(SettingsPreferences(file()).value("exporter.lastExport")) << stored;
  }
  std::ofstream(file()) << "[General]\nexporter.lastExport=date:1733412345.25\n";
  EXPECT_EQ(SettingsPreferences(file()).value("exporter.lastExport"),
            PreferenceValue(PreferenceDate{1733412345.25}));
}

}  // namespace
}  // namespace lumenfolio
