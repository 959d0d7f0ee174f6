// The tray program runs for months: export after export in one process, some
// written, some unchanged, some failing. Whatever a run opens or starts
// (descriptors, threads, heap, snapshot copies) goes when the run ends, so
// the process after its hundredth run is the process after its tenth.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/exporter_runtime.hpp"
#include "app/headless_fixture.hpp"
#include "platform/linux/headless_desktop_services.hpp"
#include "platform/linux/plain_main_queue.hpp"
#include "sample_library/sample_library.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;

std::size_t entriesOf(const fs::path& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
  return count;
}

// What a process holds that a run could leave behind.
struct Holdings {
  std::size_t descriptors = 0;
  std::size_t threads = 0;
  std::size_t temporaryFiles = 0;  // in the user's $TMPDIR and cache
  std::size_t heapBytes = 0;       // in use; 0 where the allocator does not tell

  static Holdings now(const testing::HeadlessUser& user) {
    return Holdings{
        .descriptors = entriesOf("/proc/self/fd"),
        .threads = entriesOf("/proc/self/task"),
        .temporaryFiles = entriesOf(user.tmpDir()) + entriesOf(user.cacheHome()),
        .heapBytes = ::mallinfo2().uordblks,
    };
  }
};

class LongRunningRuntime : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& [name, path] : {std::pair{"HOME", user_.home()},
                                     {"XDG_CONFIG_HOME", user_.configHome()},
                                     {"XDG_CACHE_HOME", user_.cacheHome()},
                                     {"XDG_RUNTIME_DIR", user_.runtimeDir()},
                                     {"TMPDIR", user_.tmpDir()}}) {
      ASSERT_EQ(::setenv(name, path.c_str(), 1), 0);
    }
    sample::SampleLibrary::write(package_, {.assets = 150, .seed = 11});
    runtime_ = std::make_unique<ExporterRuntime>(
        queue_, desktop_,
        ExporterRuntime::Options{.libraryPackage = package_, .runsStartUp = false});
    SyncFolder::remember(runtime_->preferences(), shared_);
  }

  void TearDown() override {
    runtime_.reset();
    ::unsetenv("TMPDIR");
  }

  Exporter& exporter() const { return runtime_->exporter(); }

  // One export to its end; its status, none for a success.
  std::optional<std::string> exportOnce() {
    exporter().runExport([this] { queue_.quit(); });
    queue_.run();
    return exporter().status();
  }

  // With `moved` away for the export, and back after it.
  std::optional<std::string> exportWithout(const fs::path& moved) {
    const auto away = moved.string() + ".away";
    fs::rename(moved, away);
    auto status = exportOnce();
    fs::rename(away, moved);
    return status;
  }

  // With every page of Photos.sqlite but the first overwritten for the
  // export, and the database as it was after it.
  std::optional<std::string> exportDamaged() {
    const auto database = package_ / "database" / "Photos.sqlite";
    const auto good = database.string() + ".good";
    fs::copy_file(database, good);
    {
      std::fstream file(database, std::ios::in | std::ios::out | std::ios::binary);
      constexpr std::streamoff kPage = 4096;
      file.seekp(kPage);
      const std::string garbage(static_cast<std::size_t>(fs::file_size(database) - kPage), '\xA5');
      file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    auto status = exportOnce();
    fs::rename(good, database);
    return status;
  }

  static bool failsWith(const std::optional<std::string>& status, std::string_view text) {
    return status && status->find(text) != std::string::npos;
  }

  // Each kind of run a tray program meets, in one round.
  void runEveryKind() {
    EXPECT_EQ(exportOnce(), std::nullopt) << "nothing changed";
    for (const auto& entry : fs::directory_iterator(shared_)) fs::remove(entry.path());
    EXPECT_EQ(exportOnce(), std::nullopt) << "the shared file is written again";
    EXPECT_EQ(entriesOf(shared_), 1u);
    EXPECT_TRUE(failsWith(exportWithout(shared_), "isn't available")) << "no shared folder";
    EXPECT_TRUE(failsWith(exportWithout(package_), "Couldn't find a Photos library"))
        << "no library";
    EXPECT_TRUE(failsWith(exportDamaged(), "couldn't be read completely")) << "a damaged library";
    // Touched, not changed: the library is read again and found the same.
    fs::last_write_time(package_ / "database" / "Photos.sqlite", fs::file_time_type::clock::now());
    EXPECT_EQ(exportOnce(), std::nullopt) << "a touched library";
  }

  testing::HeadlessUser user_;
  fs::path package_ = user_.scratch("Libraries") / "Family.photoslibrary";
  fs::path shared_ = user_.scratch("Shared Photos");
  PlainMainQueue queue_;
  HeadlessDesktopServices desktop_;
  std::unique_ptr<ExporterRuntime> runtime_;
};

TEST_F(LongRunningRuntime, manyRunsOfEveryKindLeaveTheProcessAsTheyFoundIt) {
  ASSERT_EQ(exportOnce(), std::nullopt);
  ASSERT_EQ(entriesOf(shared_), 1u);
  // The first rounds start what stays for good: the workers, SQLite's and
  // ICU's tables, the allocator's arenas.
  for (int round = 0; round < 2; ++round) runEveryKind();
  const auto before = Holdings::now(user_);

  constexpr int kRounds = 8;
  for (int round = 0; round < kRounds; ++round) runEveryKind();
  const auto after = Holdings::now(user_);

  EXPECT_EQ(after.descriptors, before.descriptors);
  EXPECT_EQ(after.threads, before.threads);
  EXPECT_EQ(after.temporaryFiles, before.temporaryFiles);
  // Two runs a round read the whole library, whose rows alone take some
  // 70 KB: runs that kept what they read would add more than a megabyte.
  constexpr std::size_t kSlack = 512 * 1024;
  EXPECT_LE(after.heapBytes, before.heapBytes + kSlack)
      << "heap in use grew from " << before.heapBytes << " to " << after.heapBytes;
}

}  // namespace
}  // namespace lumenfolio
