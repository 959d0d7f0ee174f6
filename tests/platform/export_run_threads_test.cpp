// The main thread of a run only posts and receives: fetching the photos,
// mapping their cloud identifiers, matching and digesting all happen on a
// worker, while the state changes and status texts come in their order.
#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "exporter/exporter.hpp"
#include "platform/linux/plain_main_queue.hpp"
#include "platform/linux/worker_thread.hpp"
#include "support/exporter_texts.hpp"
#include "support/fake_clock.hpp"
#include "support/fake_desktop_services.hpp"
#include "support/fake_library_store.hpp"
#include "support/fake_photo_platform.hpp"
#include "support/memory_preferences.hpp"
#include "support/temp_dir.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {
namespace {

using Statuses = std::vector<std::optional<std::string>>;
using namespace testing::texts;

// Notes the thread of every call that fetches or maps.
class ThreadNotingPlatform : public testing::FakePhotoPlatform {
 public:
  std::vector<std::string> fetchImageAssetIdentifiers() override {
    note("fetch");
    return FakePhotoPlatform::fetchImageAssetIdentifiers();
  }
  std::vector<CloudIdentifierMapping> cloudIdentifierMappings(
      const std::vector<std::string>& localIdentifiers) override {
    note("mapping");
    return FakePhotoPlatform::cloudIdentifierMappings(localIdentifiers);
  }

  void note(std::string what) {
    const std::lock_guard lock(mutex);
    calls.emplace_back(std::move(what), std::this_thread::get_id());
  }

  std::mutex mutex;
  std::vector<std::pair<std::string, std::thread::id>> calls;
};

TEST(ExportRunThreads, fetchMappingMatchingAndDigestNeverRunOnTheMainThread) {
  const testing::TempDir temp;
  testing::FakeClock clock;
  PlainMainQueue queue;
  WorkerThread storeWorker(queue);
  WorkerThread writeWorker(queue);
  testing::FakeLibraryStore store;
  ThreadNotingPlatform photos;
  testing::MemoryPreferences preferences;
  testing::FakeDesktopServices desktop;
  desktop.home = temp / "home";
  const auto folder = temp / "shared";
  std::filesystem::create_directories(folder);
  SyncFolder::remember(preferences, folder);

  const std::string uuid = "11111111-AAAA-4BBB-8CCC-000000000001";
  store.featureTable[uuid] = AssetFeatures{.sharpness = 0.5};
  photos.assets.push_back(uuid + "/L0/001");
  photos.cloudIDs[uuid + "/L0/001"] = "cloud-1";

  auto exporter = Exporter::create(
      {.mainQueue = queue,
       .clock = clock,
       .storeWorker = storeWorker,
       .store = store,
       .writeWorker = writeWorker,
       .photos = photos,
       .preferences = preferences,
       .desktop = desktop,
       .runsStartUp = false,
       .phases = [&photos](const PhaseReport& report) { photos.note(std::string(report.phase)); }});
  Statuses statuses;
  std::optional<std::string> shown;
  exporter->addObserver([&] {
    if (exporter->status() != shown) statuses.push_back(exporter->status());
    shown = exporter->status();
  });
  exporter->runExport([&queue] { queue.quit(); });
  queue.run();

  const auto mainThread = std::this_thread::get_id();
  std::vector<std::string> offMain;
  for (const auto& [what, thread] : photos.calls) {
    EXPECT_NE(thread, mainThread) << what << " ran on the main thread";
    offMain.push_back(what);
  }
  EXPECT_EQ(offMain, (std::vector<std::string>{"fetch", "fetch", "mapping", "cloud identifiers",
                                               "match", "digest", "write"}));
  EXPECT_EQ(statuses, (Statuses{kReading, kReadingDetails, kMatching, writing(1), std::nullopt}));
  EXPECT_EQ(exporter->lastCount(), 1);
}

}  // namespace
}  // namespace lumenfolio
