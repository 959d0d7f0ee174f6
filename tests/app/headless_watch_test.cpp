// The watch command, and the road a library change takes to the controller.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>

#include "exporter/exporter_change_observer.hpp"
#include "headless_fixture.hpp"
#include "headless_library.hpp"
#include "platform/linux/library_photo_platform.hpp"

namespace lumenfolio::testing {
namespace {

class HeadlessWatch : public ::testing::Test {
 protected:
  void SetUp() override { writeSampleLibrary(library_, 120, 11); }

  HeadlessUser user_;
  const std::filesystem::path library_ = user_.scratch("libraries") / "Watched.photoslibrary";
  const std::filesystem::path shared_ = user_.scratch("shared");
};

TEST_F(HeadlessWatch, aWriteToTheLibraryDatabaseReachesTheObserversAction) {
  LibraryPhotoPlatform platform(user_.pictures(), library_);
  std::promise<void> changed;
  std::atomic<bool> reported = false;
  platform.registerChangeObserver(std::make_shared<ExporterChangeObserver>([&] {
    if (!reported.exchange(true)) changed.set_value();
  }));
  // The platform watches in the background from registration on; the write
  // below is the kind the Photos application makes.
  execute(photosDatabase(library_), "UPDATE ZASSET SET ZFAVORITE = 1 WHERE Z_PK = 1");
  // The limit only guards against a hang; the report comes about a second after the write.
  EXPECT_EQ(changed.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

TEST_F(HeadlessWatch, exportsAtStartWhenNoExportIsRecordedAndStopsOnTerm) {
  // Choosing the folder through a failed export: the library is missing from
  // Pictures, so this run only remembers the folder.
  ASSERT_EQ(user_.run({"export", "--folder", shared_.string()}).exitCode, 3);

  const auto watch = user_.start({"watch", "--library", library_.string()});
  ASSERT_TRUE(watch->waitForOutput("Exported ")) << watch->outputSoFar();
  watch->signal(SIGTERM);
  const auto result = watch->finish();
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_NE(result.out.find("Watching " + library_.string()), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Reading the library databases…"), std::string::npos) << result.out;
  EXPECT_TRUE(result.out.ends_with("Stopped.\n")) << result.out;
  EXPECT_FALSE(readSharedFile(sharedFileIn(shared_)).features.empty());
}

TEST_F(HeadlessWatch, aRecentExportMeansNoExportAtStartAndInterruptStops) {
  ASSERT_EQ(
      user_.run({"export", "--library", library_.string(), "--folder", shared_.string()}).exitCode,
      0);
  const auto file = sharedFileIn(shared_);
  const auto before = filesOf(shared_);

  const auto watch = user_.start({"watch", "--library", library_.string()});
  ASSERT_TRUE(watch->waitForOutput("Watching ")) << watch->outputSoFar();
  watch->signal(SIGINT);
  const auto result = watch->finish();
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(result.out.find("Reading the library databases…"), std::string::npos) << result.out;
  EXPECT_EQ(filesOf(shared_), before);
}

TEST_F(HeadlessWatch, reportsALibraryChangeWhileWatching) {
  ASSERT_EQ(
      user_.run({"export", "--library", library_.string(), "--folder", shared_.string()}).exitCode,
      0);
  const auto watch = user_.start({"watch", "--library", library_.string()});
  ASSERT_TRUE(watch->waitForOutput("Watching ")) << watch->outputSoFar();
  execute(photosDatabase(library_), "UPDATE ZASSET SET ZFAVORITE = 1 - ZFAVORITE WHERE Z_PK = 2");
  EXPECT_TRUE(watch->waitForOutput(
      "The library changed; the next export runs 300 s after the last change."))
      << watch->outputSoFar();
  watch->signal(SIGTERM);
  const auto result = watch->finish();
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  // The export itself waits for the quiet period, which this test does not sit through.
  EXPECT_EQ(result.out.find("Reading the library databases…"), std::string::npos) << result.out;
}

constexpr std::string_view kChangedLine =
    "The library changed; the next export runs 300 s after the last change.\n";

TEST_F(HeadlessWatch, aWatchStartedBeforeAnyLibraryNoticesOneThatAppears) {
  const auto watch = user_.start({"watch"});
  ASSERT_TRUE(watch->waitForOutput("Watching for a Photos library in ")) << watch->outputSoFar();
  writeSampleLibrary(user_.defaultLibrary(), 20, 3);
  EXPECT_TRUE(watch->waitForOutput(kChangedLine)) << watch->outputSoFar();
  watch->signal(SIGTERM);
  EXPECT_EQ(watch->finish().exitCode, 0);
}

// Restored from a backup: the old package moves away, the new one takes its
// path. The replacement is a change, and so are writes to the new package.
TEST_F(HeadlessWatch, followsALibraryReplacedAtTheSamePath) {
  ASSERT_EQ(
      user_.run({"export", "--library", library_.string(), "--folder", shared_.string()}).exitCode,
      0);
  const auto watch = user_.start({"watch", "--library", library_.string()});
  ASSERT_TRUE(watch->waitForOutput("Watching ")) << watch->outputSoFar();
  const auto restored = user_.scratch("restores") / "Watched.photoslibrary";
  writeSampleLibrary(restored, 30, 5);
  std::filesystem::rename(library_, user_.scratch("restores") / "Old.photoslibrary");
  std::filesystem::rename(restored, library_);
  ASSERT_TRUE(watch->waitForOutput(kChangedLine)) << watch->outputSoFar();
  execute(photosDatabase(library_), "UPDATE ZASSET SET ZFAVORITE = 1 - ZFAVORITE WHERE Z_PK = 2");
  EXPECT_TRUE(watch->waitForOutput(std::string(kChangedLine) + std::string(kChangedLine)))
      << watch->outputSoFar();
  watch->signal(SIGTERM);
  EXPECT_EQ(watch->finish().exitCode, 0);
}

}  // namespace
}  // namespace lumenfolio::testing
