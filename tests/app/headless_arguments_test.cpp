#include "app/headless_arguments.hpp"

#include <gtest/gtest.h>

namespace lumenfolio {
namespace {

using Command = HeadlessArguments::Command;

TEST(HeadlessArguments, readsEachCommand) {
  EXPECT_EQ(HeadlessArguments::parse({"export"}).command, Command::exportNow);
  EXPECT_EQ(HeadlessArguments::parse({"watch"}).command, Command::watch);
  EXPECT_EQ(HeadlessArguments::parse({"status"}).command, Command::status);
  EXPECT_EQ(HeadlessArguments::parse({"--version"}).command, Command::version);
  EXPECT_EQ(HeadlessArguments::parse({"--help"}).command, Command::help);
}

TEST(HeadlessArguments, takesOptionValuesSeparateOrAfterAnEqualsSign) {
  const auto parsed = HeadlessArguments::parse(
      {"export", "--library", "/l/Photos Library.photoslibrary", "--folder=/shared"});
  EXPECT_EQ(parsed.library, std::filesystem::path("/l/Photos Library.photoslibrary"));
  EXPECT_EQ(parsed.folder, std::filesystem::path("/shared"));
}

TEST(HeadlessArguments, leavesAbsentOptionsEmpty) {
  const auto parsed = HeadlessArguments::parse({"watch"});
  EXPECT_FALSE(parsed.library);
  EXPECT_FALSE(parsed.folder);
}

TEST(HeadlessArguments, helpAnywhereWinsOverEverythingElse) {
  EXPECT_EQ(HeadlessArguments::parse({"export", "--bogus", "--help"}).command, Command::help);
  EXPECT_EQ(HeadlessArguments::parse({"nonsense", "-h"}).command, Command::help);
}

TEST(HeadlessArguments, rejectsUnknownCommandsAndOptions) {
  EXPECT_THROW(HeadlessArguments::parse({"exprot"}), HeadlessArguments::UsageError);
  EXPECT_THROW(HeadlessArguments::parse({"export", "--force"}), HeadlessArguments::UsageError);
  EXPECT_THROW(HeadlessArguments::parse({"export", "extra"}), HeadlessArguments::UsageError);
}

TEST(HeadlessArguments, watchAndStatusDoNotTakeAFolder) {
  EXPECT_THROW(HeadlessArguments::parse({"watch", "--folder", "/shared"}),
               HeadlessArguments::UsageError);
  EXPECT_THROW(HeadlessArguments::parse({"status", "--folder", "/shared"}),
               HeadlessArguments::UsageError);
  EXPECT_THROW(HeadlessArguments::parse({"--version", "--library", "/l"}),
               HeadlessArguments::UsageError);
}

TEST(HeadlessArguments, rejectsAnOptionWithoutItsValue) {
  EXPECT_THROW(HeadlessArguments::parse({"export", "--folder"}), HeadlessArguments::UsageError);
  EXPECT_THROW(HeadlessArguments::parse({"export", "--folder="}), HeadlessArguments::UsageError);
}

TEST(HeadlessArguments, readsJsonForExportAndStatusOnly) {
  EXPECT_TRUE(HeadlessArguments::parse({"export", "--json"}).json);
  EXPECT_TRUE(HeadlessArguments::parse({"--json", "status"}).json);
  EXPECT_FALSE(HeadlessArguments::parse({"status"}).json);
  EXPECT_THROW(HeadlessArguments::parse({"watch", "--json"}), HeadlessArguments::UsageError);
}

TEST(HeadlessArguments, readsHowMuchToSayForEveryCommand) {
  using Verbosity = ConsoleLog::Verbosity;
  EXPECT_EQ(HeadlessArguments::parse({"export"}).verbosity, Verbosity::normal);
  EXPECT_EQ(HeadlessArguments::parse({"export", "-v"}).verbosity, Verbosity::verbose);
  EXPECT_EQ(HeadlessArguments::parse({"--verbose", "watch"}).verbosity, Verbosity::verbose);
  EXPECT_EQ(HeadlessArguments::parse({"status", "-q"}).verbosity, Verbosity::quiet);
  EXPECT_EQ(HeadlessArguments::parse({"watch", "--quiet"}).verbosity, Verbosity::quiet);
  EXPECT_THROW(HeadlessArguments::parse({"export", "-v", "-q"}), HeadlessArguments::UsageError);
}

TEST(HeadlessArguments, rejectsAMissingCommandAndAnOptionGivenTwice) {
  EXPECT_THROW(HeadlessArguments::parse({"-v"}), HeadlessArguments::UsageError);
  EXPECT_THROW(HeadlessArguments::parse({"export", "--folder=/a", "--folder=/b"}),
               HeadlessArguments::UsageError);
  EXPECT_THROW(HeadlessArguments::parse({"--version", "export"}), HeadlessArguments::UsageError);
}

TEST(HeadlessArguments, aUsageErrorPointsAtHelp) {
  EXPECT_EQ(HeadlessArguments::tryHelp("lumenfolio-exporter"), "Try 'lumenfolio-exporter --help'.");
}

TEST(HeadlessArguments, usageNamesEveryOptionAndExitStatus) {
  const auto usage = HeadlessArguments::usage("lumenfolio-exporter");
  for (const char* word : {"--json", "--verbose", "--quiet", "  0  ", "  3  ", "  6  "}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }
}

TEST(HeadlessArguments, usageNamesEveryCommand) {
  const auto usage = HeadlessArguments::usage("lumenfolio-exporter");
  for (const char* word :
       {"export", "watch", "status", "--library", "--folder", "--help", "--version"}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace lumenfolio
