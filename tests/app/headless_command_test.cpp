// The command line's own answers: help, version, bad usage and status.
#include <gtest/gtest.h>

#include <regex>

#include "headless_fixture.hpp"
#include "headless_library.hpp"

namespace lumenfolio::testing {
namespace {

class HeadlessCommandLine : public ::testing::Test {
 protected:
  HeadlessUser user_;
};

TEST_F(HeadlessCommandLine, helpPrintsTheUsageAndSucceeds) {
  const auto result = user_.run({"--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("Usage: lumenfolio-exporter"), std::string::npos) << result.out;
  EXPECT_EQ(result.err, "");
}

TEST_F(HeadlessCommandLine, versionPrintsTheBuildsVersion) {
  const auto result = user_.run({"--version"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, std::string("lumenfolio-exporter ") + LUMENFOLIO_VERSION + "\n");
}

TEST_F(HeadlessCommandLine, badUsageExitsWithTwoSayingWhatIsWrongAndWhereToReadMore) {
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"exprot"},
                                                    {"export", "--force"},
                                                    {"watch", "--folder", "/tmp"},
                                                    {"export", "--folder"}}) {
    const auto result = user_.run(arguments);
    EXPECT_EQ(result.exitCode, 2) << describe(result);
    // One line about the mistake, one pointing at --help; the usage would bury it.
    EXPECT_TRUE(std::regex_match(result.err, std::regex("lumenfolio-exporter: error: [^\n]+\n"
                                                        "Try 'lumenfolio-exporter --help'\\.\n")))
        << describe(result);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(user_.preferencesFile()))
      << "bad usage touched the settings";
}

TEST_F(HeadlessCommandLine, statusBeforeAnyExportTellsThereIsNoLibrary) {
  const auto result = user_.run({"status"});
  EXPECT_EQ(result.exitCode, 3) << describe(result);
  EXPECT_NE(result.out.find("Last export: never"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Shared folder: none chosen"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Photos library: not found in " + user_.pictures().string()),
            std::string::npos)
      << result.out;
}

TEST_F(HeadlessCommandLine, statusAfterAnExport) {
  writeSampleLibrary(user_.defaultLibrary(), 120, 3);
  const auto shared = user_.scratch("shared");
  const auto exported = user_.run({"export", "--folder", shared.string()});
  ASSERT_EQ(exported.exitCode, 0) << describe(exported);
  const auto rows = readSharedFile(sharedFileIn(shared)).features.size();

  const auto result = user_.run({"status"});
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_TRUE(std::regex_search(
      result.out, std::regex("Last export: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d .*, " +
                             std::to_string(rows) + " photos\n")))
      << result.out;
  EXPECT_NE(result.out.find("Shared folder: " + shared.string() + "\n"), std::string::npos)
      << result.out;
  std::smatch device;
  ASSERT_TRUE(
      std::regex_search(result.out, device, std::regex("Device identifier: ([0-9a-f]{8})\n")))
      << result.out;
  EXPECT_NE(result.out.find(
                "Shared file: " +
                (shared / ("pixdeck-" + device[1].str() + "-features.pdsync")).string() + "\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Photos library: " + user_.defaultLibrary().string() + " (readable)"),
            std::string::npos)
      << result.out;
}

TEST_F(HeadlessCommandLine, statusTellsAnUnreadableLibraryAndAMissingFolder) {
  std::filesystem::create_directories(user_.defaultLibrary() / "database" / "search");
  for (const char* database :
       {"database/Photos.sqlite", "database/search/psi.sqlite", "database/search/leo.sqlite"}) {
    std::ofstream(user_.defaultLibrary() / database) << "garbage";
  }
  const auto shared = user_.scratch("shared");
  ASSERT_EQ(user_.run({"export", "--folder", shared.string()}).exitCode, 4);
  std::filesystem::remove(shared);

  const auto result = user_.run({"status"});
  EXPECT_EQ(result.exitCode, 4) << describe(result);
  EXPECT_NE(result.out.find("Shared folder: " + shared.string() + " (missing)"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find(user_.defaultLibrary().string() + " (not readable: "),
            std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace lumenfolio::testing
