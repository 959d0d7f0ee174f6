// Private snapshot copies that killed runs left in the temporary folder are
// removed by the next export; copies a running process still reads are not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "headless_fixture.hpp"
#include "headless_library.hpp"
#include "metadata/snapshot_folder.hpp"
#include "support/abandoned_snapshot.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;

TEST(HeadlessSnapshotCleanup, anExportRemovesTheCopiesOfKilledRunsOnly) {
  HeadlessUser user;
  const auto scratch = user.scratch("tmp");
  ASSERT_EQ(setenv("TMPDIR", scratch.c_str(), 1), 0);
  const auto abandoned = abandonedSnapshotFolder();
  std::ofstream(abandoned / "Photos.sqlite") << std::string(1 << 20, 'x');
  const auto inUse = SnapshotFolder::create();
  unsetenv("TMPDIR");

  const auto library = user.scratch("libraries") / "Photos Library.photoslibrary";
  writeSampleLibrary(library, 40);
  auto environment = user.environment();
  environment.push_back("TMPDIR=" + scratch.string());
  const auto result = ExporterProcess({"export", "--library", library.string(), "--folder",
                                       user.scratch("shared").string()},
                                      environment)
                          .finish();
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::exists(inUse.path()));
}

}  // namespace
}  // namespace lumenfolio::testing
