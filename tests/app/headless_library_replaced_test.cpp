// A sync tool or a restore puts another copy of the library in place while
// exports run. Each export writes one version whole, or fails and keeps what
// was there: never assets of one version with the features of another.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "headless_fixture.hpp"
#include "headless_library.hpp"
#include "support/package_swapper.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;
using sample::SampleLibrary;

class HeadlessLibraryReplaced : public ::testing::Test {
 protected:
  // Writes a version of the library beside the others and exports it alone,
  // for what a run of that version writes.
  std::map<std::string, SharedRow> version(const fs::path& package, std::uint64_t seed) const {
    SampleLibrary::write(package, {.assets = 300, .seed = seed});
    const auto folder = user_.scratch("reference-" + std::to_string(seed));
    const auto result =
        user_.run({"export", "--library", package.string(), "--folder", folder.string()});
    EXPECT_EQ(result.exitCode, 0) << describe(result);
    return readSharedFile(sharedFileIn(folder)).features;
  }

  HeadlessUser user_;
  const fs::path library_ = user_.scratch("libraries") / "Photos Library.photoslibrary";
  const fs::path spare_ = user_.scratch("spare") / "Photos Library.photoslibrary";
  const fs::path shared_ = user_.scratch("shared");
};

TEST_F(HeadlessLibraryReplaced, everyExportWritesOneVersionWholeOrFails) {
  const auto first = version(library_, 5);
  const auto second = version(spare_, 6);
  ASSERT_FALSE(first.empty());
  ASSERT_NE(first, second);

  int written = 0;
  {
    const PackageSwapper swapper(library_, spare_, std::chrono::microseconds(200));
    for (int run = 0; run < 40; ++run) {
      const auto result =
          user_.run({"export", "--library", library_.string(), "--folder", shared_.string()});
      if (result.exitCode != 0) continue;
      ++written;
      const auto features = readSharedFile(sharedFileIn(shared_)).features;
      EXPECT_TRUE(features == first || features == second)
          << "run " << run << " wrote " << features.size() << " rows of neither version\n"
          << describe(result);
    }
    EXPECT_GT(swapper.swaps(), 40);
  }
  EXPECT_GT(written, 0) << "no export got through while the library was being replaced";
}

}  // namespace
}  // namespace lumenfolio::testing
