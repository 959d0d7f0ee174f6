#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stop_token>
#include <system_error>
#include <thread>

#include "app/shared_file_lock.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

// Whether another open file description could take the lock right now.
bool lockIsFree(const std::filesystem::path& file) {
  const int descriptor = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (descriptor < 0) return true;
  const bool free = ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
  ::close(descriptor);
  return free;
}

TEST(SharedFileLock, holdsTheLockUntilItGoesAway) {
  const testing::TempDir dir;
  const auto file = dir / "nested" / "exporter.lock";
  {
    const SharedFileLock lock(file);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(lockIsFree(file));
  }
  EXPECT_TRUE(lockIsFree(file));
}

TEST(SharedFileLock, guardedWriterAndWhatItTellsRunWithTheLockHeld) {
  const testing::TempDir dir;
  const auto file = dir / "exporter.lock";
  bool heldDuringWrite = false;
  bool heldWhileTold = false;
  const auto writer = SharedFileLock::guarding(
      [&](const SyncFile::Payload&, const std::filesystem::path& destination,
          const Exporter::WrittenAction& written) {
        heldDuringWrite = !lockIsFree(file);
        written(SharedFileIdentity{.file = destination});
      },
      file);
  writer(SyncFile::Payload{}, dir / "shared.pdsync",
         [&](const SharedFileIdentity&) { heldWhileTold = !lockIsFree(file); });
  EXPECT_TRUE(heldDuringWrite);
  EXPECT_TRUE(heldWhileTold);
  EXPECT_TRUE(lockIsFree(file));
}

TEST(SharedFileLock, aSecondWriterWaitsForTheFirst) {
  const testing::TempDir dir;
  const auto file = dir / "exporter.lock";
  std::atomic<int> inside = 0;
  std::atomic<int> mostInside = 0;
  const auto writer = SharedFileLock::guarding(
      [&](const SyncFile::Payload&, const std::filesystem::path&, const Exporter::WrittenAction&) {
        const int now = ++inside;
        if (now > mostInside) mostInside = now;
        std::this_thread::yield();
        --inside;
      },
      file);
  std::vector<std::thread> threads;
  for (int index = 0; index < 4; ++index) {
    threads.emplace_back([&] {
      for (int round = 0; round < 200; ++round)
        writer(SyncFile::Payload{}, dir / "shared.pdsync", {});
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mostInside, 1);
}

TEST(SharedFileLock, releasesTheLockWhenTheWriterThrows) {
  const testing::TempDir dir;
  const auto file = dir / "exporter.lock";
  const auto writer = SharedFileLock::guarding(
      [](const SyncFile::Payload&, const std::filesystem::path&, const Exporter::WrittenAction&) {
        throw SyncError(SyncError::Code::cannotWrite);
      },
      file);
  EXPECT_THROW(writer(SyncFile::Payload{}, dir / "shared.pdsync", {}), SyncError);
  EXPECT_TRUE(lockIsFree(file));
}

TEST(SharedFileLock, livesInTheRuntimeFolderElseTheSessionFolderElseTheCache) {
  const testing::TempDir dir;
  const auto noSessions = dir / "no sessions";
  ::setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
  EXPECT_EQ(SharedFileLock::defaultPath(noSessions), dir / "run" / "lumenfolio-exporter.lock");

  ::unsetenv("XDG_RUNTIME_DIR");
  const auto session = dir / "sessions" / std::to_string(::getuid());
  std::filesystem::create_directories(session);
  EXPECT_EQ(SharedFileLock::defaultPath(dir / "sessions"), session / "lumenfolio-exporter.lock");

  ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  EXPECT_EQ(SharedFileLock::defaultPath(noSessions),
            dir / "cache" / "lumenfolio" / "exporter.lock");
  ::unsetenv("XDG_CACHE_HOME");
  ::setenv("HOME", (dir / "home").c_str(), 1);
  EXPECT_EQ(SharedFileLock::defaultPath(noSessions),
            dir / "home" / ".cache" / "lumenfolio" / "exporter.lock");
}

TEST(SharedFileLock, refusesALinkOrAnythingButARegularFile) {
  const testing::TempDir dir;
  const auto file = dir / "exporter.lock";
  const auto target = dir / "target";
  std::filesystem::create_symlink(target, file);
  EXPECT_THROW(SharedFileLock{file}, std::system_error);
  EXPECT_FALSE(std::filesystem::exists(target)) << "the link was followed";

  std::filesystem::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_THROW(SharedFileLock{file}, std::system_error);
}

TEST(SharedFileLock, aStopRequestEndsTheWaitForAnotherHolder) {
  const testing::TempDir dir;
  const auto file = dir / "exporter.lock";
  const SharedFileLock held(file);
  std::stop_source stop;
  std::thread stopper([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop.request_stop();
  });
  try {
    const SharedFileLock waiting(file, stop.get_token());
    ADD_FAILURE() << "took a lock another holder has";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), ECANCELED);
  }
  stopper.join();
}

}  // namespace
}  // namespace lumenfolio
