// SIGTERM or SIGINT while the library is being read ends `export` at once,
// with the stopped status, and leaves nothing: the package as it was, the
// previous shared file, and no private copy of the library in $TMPDIR.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "headless_fixture.hpp"
#include "headless_library.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;

// However large a library, a read of it ends; this one only ends when it is
// interrupted. The analysis table becomes a view that joins a count to a
// trillion, so the first read of the export runs until it is stopped.
void makeTheFirstReadEndless(const fs::path& package) {
  const auto db = openCopy(photosDatabase(package));
  // Kept as a "-wal" without a "-shm" below, which is read from private copies.
  ASSERT_EQ(sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr),
            SQLITE_OK);
  ASSERT_EQ(
      db.exec("PRAGMA wal_autocheckpoint=0;"
              "ALTER TABLE ZMEDIAANALYSISASSETATTRIBUTES RENAME TO STORED_ANALYSIS;"
              "CREATE VIEW ZMEDIAANALYSISASSETATTRIBUTES AS SELECT s.* FROM STORED_ANALYSIS s "
              "JOIN (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
              "SELECT x FROM c LIMIT 1000000000000) n ON n.x = 0"),
      SQLITE_OK)
      << sqlite3_errmsg(db.handle());
}

void removeSharedMemoryFiles(const fs::path& package) {
  for (const auto& entry : fs::recursive_directory_iterator(package)) {
    if (entry.path().string().ends_with("-shm")) fs::remove(entry.path());
  }
}

TEST(HeadlessInterruptedRead, aStopWhileReadingEndsTheExportAtOnceAndLeavesNothing) {
  HeadlessUser user;
  const auto package = user.scratch("libraries") / "Photos Library.photoslibrary";
  const auto shared = user.scratch("shared");
  writeSampleLibrary(package, 400);
  const auto written =
      user.run({"export", "--library", package.string(), "--folder", shared.string()});
  ASSERT_EQ(written.exitCode, 0) << describe(written);
  const auto sharedBefore = filesOf(shared);
  makeTheFirstReadEndless(package);
  removeSharedMemoryFiles(package);
  ASSERT_TRUE(fs::exists(photosDatabase(package).string() + "-wal"));
  const auto packageBefore = filesOf(package);

  for (const int signal : {SIGTERM, SIGINT}) {
    const auto exporting = user.start({"export", "--library", package.string()});
    ASSERT_TRUE(exporting->waitForOutput("Reading the library databases…"))
        << exporting->outputSoFar();
    // Well into the read, with the private copies made.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_FALSE(fs::is_empty(user.tmpDir())) << "the read should be from private copies";
    const auto stopped = std::chrono::steady_clock::now();
    exporting->signal(signal);
    const auto result = exporting->finish(std::chrono::seconds(30));
    const auto took = std::chrono::steady_clock::now() - stopped;

    EXPECT_EQ(result.exitCode, 128 + signal) << describe(result);
    EXPECT_LT(took, std::chrono::seconds(10)) << "the read ran on after the stop";
    EXPECT_EQ(result.err.find("couldn't be read"), std::string::npos)
        << "a stop is not a read failure\n"
        << describe(result);
    EXPECT_NE(result.err.find("stopped by a signal"), std::string::npos) << describe(result);
    EXPECT_EQ(filesOf(package), packageBefore) << "the package is never written";
    EXPECT_EQ(filesOf(shared), sharedBefore) << "no \".part\", and the previous file as it was";
    EXPECT_TRUE(fs::is_empty(user.tmpDir())) << "a private copy of the library stayed behind";
  }
}

}  // namespace
}  // namespace lumenfolio::testing
