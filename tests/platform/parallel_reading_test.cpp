// Reading the search index on a thread of its own, while Photos.sqlite is
// read, changes nothing that is written: the shared file and the stored digest
// are the same, byte for byte, as when the library is read one database after
// the other.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "exporter/exporter.hpp"
#include "metadata/metadata_store.hpp"
#include "platform/linux/library_photo_platform.hpp"
#include "sample_library/sample_library.hpp"
#include "support/fake_clock.hpp"
#include "support/fake_desktop_services.hpp"
#include "support/inline_worker.hpp"
#include "support/manual_queue.hpp"
#include "support/memory_preferences.hpp"
#include "support/temp_dir.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;
using sample::SampleLibrary;

enum class SearchDatabases { both, onlyPsi, onlyLeo, neither };

void removeDatabase(const fs::path& file) {
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(fs::path(file.string() + suffix));
}

fs::path writeLibrary(const fs::path& folder, std::uint64_t seed, SearchDatabases search) {
  const auto package = folder / "Photos Library.photoslibrary";
  SampleLibrary::write(package, {.assets = 600, .seed = seed});
  const auto searchFolder = package / "database" / "search";
  if (search == SearchDatabases::onlyLeo || search == SearchDatabases::neither) {
    removeDatabase(searchFolder / "psi.sqlite");
  }
  if (search == SearchDatabases::onlyPsi || search == SearchDatabases::neither) {
    removeDatabase(searchFolder / "leo.sqlite");
  }
  return package;
}

std::string bytesOf(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

struct Written {
  std::string sharedFile;
  std::string digest;
};

// One export of `package` by the real reader and photo platform, on fakes of
// time and the main queue, into a folder of its own.
Written exportOnce(const fs::path& package, const fs::path& work, MetadataStore::Reading reading) {
  testing::FakeClock clock;
  testing::ManualQueue queue{clock};
  testing::InlineWorker storeWorker{queue};
  testing::InlineWorker writeWorker{queue};
  testing::MemoryPreferences preferences;
  testing::FakeDesktopServices desktop;
  desktop.home = work / "home";
  fs::create_directories(desktop.home);
  const auto folder = work / "shared";
  fs::create_directories(folder);
  SyncFolder::remember(preferences, folder);
  // The same device identifier in both runs, so that the files share a name.
  preferences.setValue(std::string(SyncFolder::kDeviceIDKey), std::string("0a1b2c3d"));

  LibraryPhotoPlatform photos(package.parent_path(), package);
  MetadataStore store(package.parent_path(), package, {}, photos.listingSink(),
                      {.reading = reading, .phases = {}});
  auto exporter = Exporter::create({.mainQueue = queue,
                                    .clock = clock,
                                    .storeWorker = storeWorker,
                                    .store = store,
                                    .writeWorker = writeWorker,
                                    .photos = photos,
                                    .preferences = preferences,
                                    .desktop = desktop,
                                    .runsStartUp = false});
  bool done = false;
  exporter->runExport([&done] { done = true; });
  queue.runUntilIdle();
  EXPECT_TRUE(done);
  EXPECT_EQ(exporter->status(), std::nullopt);
  const auto digest = preferences.value(std::string(Exporter::kDigestKey));
  const auto* digestText = digest ? std::get_if<std::string>(&*digest) : nullptr;
  return {bytesOf(folder / "pixdeck-0a1b2c3d-features.pdsync"),
          digestText != nullptr ? *digestText : std::string()};
}

TEST(ParallelReading, writesTheSameFileAndDigestAsReadingInTurn) {
  for (const auto search : {SearchDatabases::both, SearchDatabases::onlyPsi,
                            SearchDatabases::onlyLeo, SearchDatabases::neither}) {
    for (const std::uint64_t seed : {1u, 7u, 42u}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", search databases " +
                   std::to_string(static_cast<int>(search)));
      const testing::TempDir temp;
      const auto package = writeLibrary(temp / "library", seed, search);
      const auto inTurn = exportOnce(package, temp / "in-turn", MetadataStore::Reading::inTurn);
      const auto alongside =
          exportOnce(package, temp / "alongside", MetadataStore::Reading::alongside);
      ASSERT_FALSE(inTurn.sharedFile.empty());
      ASSERT_EQ(inTurn.digest.size(), 64u);
      EXPECT_TRUE(inTurn.sharedFile == alongside.sharedFile);
      EXPECT_EQ(inTurn.digest, alongside.digest);
    }
  }
}

}  // namespace
}  // namespace lumenfolio
