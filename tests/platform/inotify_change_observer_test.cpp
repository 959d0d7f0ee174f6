#include "platform/linux/inotify_change_observer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

using namespace std::chrono_literals;

// Counts reports and the threads they came on; tests wait for a count with a
// bounded wait rather than sleeping.
class CountingObserver : public ChangeObserver {
 public:
  void photoLibraryDidChange() override {
    const std::lock_guard lock(mutex_);
    ++calls_;
    lastThread_ = std::this_thread::get_id();
    changed_.notify_all();
  }
  bool waitFor(int calls) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return calls_ >= calls; });
  }
  int calls() {
    const std::lock_guard lock(mutex_);
    return calls_;
  }
  std::thread::id lastThread() {
    const std::lock_guard lock(mutex_);
    return lastThread_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int calls_ = 0;
  std::thread::id lastThread_;
};

// How many of the database folders of `package` ("database" and
// "database/search") this process has inotify watches on now, as the kernel
// lists them in /proc/self/fdinfo.
int watchedDatabaseFolders(const std::filesystem::path& package) {
  std::set<std::string> folderInodes;
  for (const auto& folder : {package / "database", package / "database" / "search"}) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0) {
      std::ostringstream hex;
      hex << std::hex << status.st_ino;
      folderInodes.insert(hex.str());
    }
  }
  int watched = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) != "anon_inode:inotify") continue;
    std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
    for (std::string word; info >> word;) {
      if (word.starts_with("ino:") && folderInodes.contains(word.substr(4))) ++watched;
    }
  }
  return watched;
}

class InotifyChangeObserverTest : public ::testing::Test {
 protected:
  InotifyChangeObserverTest() {
    std::filesystem::create_directories(package() / "database" / "search");
  }
  std::filesystem::path package() const { return temp / "Photos Library.photoslibrary"; }
  void append(const std::filesystem::path& relative, const std::string& text = "x") {
    std::ofstream(package() / relative, std::ios::app) << text;
  }

  testing::TempDir temp;
  std::shared_ptr<CountingObserver> counter = std::make_shared<CountingObserver>();
};

TEST_F(InotifyChangeObserverTest, aWriteToTheLibraryDatabaseReachesTheObserverOnTheWatchersThread) {
  InotifyChangeObserver watcher(package(), 20ms);
  EXPECT_EQ(watchedDatabaseFolders(package()), 2);
  watcher.add(counter);
  append("database/Photos.sqlite");
  ASSERT_TRUE(counter->waitFor(1));
  EXPECT_NE(counter->lastThread(), std::this_thread::get_id());
}

TEST_F(InotifyChangeObserverTest, everyDatabaseAndWriteAheadLogCounts) {
  InotifyChangeObserver watcher(package(), 20ms);
  watcher.add(counter);
  const char* files[] = {"database/Photos.sqlite",     "database/Photos.sqlite-wal",
                         "database/search/psi.sqlite", "database/search/psi.sqlite-wal",
                         "database/search/leo.sqlite", "database/search/leo.sqlite-wal"};
  int expected = 0;
  for (const char* file : files) {
    SCOPED_TRACE(file);
    append(file);
    ASSERT_TRUE(counter->waitFor(++expected));
  }
  EXPECT_EQ(counter->calls(), expected);
}

TEST_F(InotifyChangeObserverTest, creationsAndRenamesCount) {
  InotifyChangeObserver watcher(package(), 20ms);
  watcher.add(counter);
  std::ofstream(package() / "database" / "search" / "leo.sqlite-wal").close();
  ASSERT_TRUE(counter->waitFor(1));
  std::ofstream(temp / "replacement") << "new";
  std::filesystem::rename(temp / "replacement", package() / "database" / "search" / "psi.sqlite");
  ASSERT_TRUE(counter->waitFor(2));
  std::filesystem::rename(package() / "database" / "search" / "psi.sqlite",
                          package() / "database" / "search" / "psi.old");
  ASSERT_TRUE(counter->waitFor(3));
}

// Each call finishes a burst, so a later report can only come from the last write.
TEST_F(InotifyChangeObserverTest, aBurstOfWritesGivesOneCall) {
  InotifyChangeObserver watcher(package(), 1s);
  watcher.add(counter);
  for (int write = 0; write < 50; ++write) {
    append("database/Photos.sqlite");
    append("database/Photos.sqlite-wal");
    append("database/search/psi.sqlite-wal");
  }
  ASSERT_TRUE(counter->waitFor(1));
  append("database/search/leo.sqlite");
  ASSERT_TRUE(counter->waitFor(2));
  EXPECT_EQ(counter->calls(), 2);
}

// The other files of the folders (the shared-memory index, anything else) are
// not library changes: written first, they would report before the last write.
TEST_F(InotifyChangeObserverTest, otherFilesOfTheFoldersAreIgnored) {
  InotifyChangeObserver watcher(package(), 20ms);
  watcher.add(counter);
  append("database/Photos.sqlite-shm");
  append("database/search/psi.sqlite-journal");
  append("database/notes.txt");
  std::filesystem::create_directories(package() / "resources");
  append("resources/Photos.sqlite");
  std::this_thread::sleep_for(100ms);  // lets a wrong report of those come first
  append("database/Photos.sqlite");
  ASSERT_TRUE(counter->waitFor(1));
  EXPECT_EQ(counter->calls(), 1);
}

TEST_F(InotifyChangeObserverTest, aLibraryWrittenWithoutPauseIsStillReported) {
  InotifyChangeObserver watcher(package(), 1h, 50ms);
  watcher.add(counter);
  append("database/Photos.sqlite-wal");
  ASSERT_TRUE(counter->waitFor(1));
}

TEST_F(InotifyChangeObserverTest, everyRegisteredObserverIsCalled) {
  InotifyChangeObserver watcher(package(), 20ms);
  auto other = std::make_shared<CountingObserver>();
  watcher.add(counter);
  std::thread([&] { watcher.add(other); }).join();
  append("database/search/leo.sqlite-wal");
  EXPECT_TRUE(counter->waitFor(1));
  EXPECT_TRUE(other->waitFor(1));
}

TEST_F(InotifyChangeObserverTest, missingFoldersAreNotWatchedAndCauseNoHarm) {
  std::filesystem::remove_all(package() / "database" / "search");
  {
    InotifyChangeObserver watcher(package(), 20ms);
    EXPECT_EQ(watchedDatabaseFolders(package()), 1);
  }
  InotifyChangeObserver watcher(temp / "nowhere.photoslibrary", 20ms);
  EXPECT_EQ(watchedDatabaseFolders(temp / "nowhere.photoslibrary"), 0);
  watcher.add(counter);
  EXPECT_EQ(counter->calls(), 0);
}

// A package restored from a backup or synced anew replaces the old one at the
// same path: the new folders are watched from then on, the old ones no longer.
TEST_F(InotifyChangeObserverTest, aPackageReplacedAtTheSamePathIsFollowed) {
  InotifyChangeObserver watcher(package(), 20ms);
  watcher.add(counter);
  const auto restored = temp / "restored.tmp";
  std::filesystem::create_directories(restored / "database" / "search");
  std::filesystem::rename(package(), temp / "old.tmp");
  std::filesystem::rename(restored, package());
  ASSERT_TRUE(counter->waitFor(1)) << "the replacement itself is a change";
  std::ofstream(temp / "old.tmp" / "database" / "Photos.sqlite", std::ios::app) << "x";
  std::this_thread::sleep_for(100ms);  // lets a wrong report of the old package come first
  EXPECT_EQ(counter->calls(), 1);
  append("database/search/psi.sqlite-wal");
  ASSERT_TRUE(counter->waitFor(2));
  EXPECT_EQ(watchedDatabaseFolders(package()), 2);
}

TEST_F(InotifyChangeObserverTest, aDatabaseFolderReplacedInsideThePackageIsFollowed) {
  InotifyChangeObserver watcher(package(), 20ms);
  watcher.add(counter);
  std::filesystem::remove_all(package() / "database");
  ASSERT_TRUE(counter->waitFor(1));
  std::filesystem::create_directories(package() / "database" / "search");
  ASSERT_TRUE(counter->waitFor(2));
  append("database/search/leo.sqlite");
  ASSERT_TRUE(counter->waitFor(3));
}

TEST_F(InotifyChangeObserverTest, aLibraryThatAppearsLaterIsWatched) {
  const auto pictures = temp / "Pictures";
  std::filesystem::create_directories(pictures);
  InotifyChangeObserver watcher(
      pictures,
      [pictures]() -> std::optional<std::filesystem::path> {
        for (const auto& entry : std::filesystem::directory_iterator(pictures)) {
          if (entry.path().extension() == ".photoslibrary") return entry.path();
        }
        return std::nullopt;
      },
      20ms);
  watcher.add(counter);
  EXPECT_EQ(watchedDatabaseFolders(package()), 0);
  std::filesystem::rename(package(), pictures / "Family.photoslibrary");
  ASSERT_TRUE(counter->waitFor(1)) << "a library appearing is a change";
  std::ofstream(pictures / "Family.photoslibrary" / "database" / "Photos.sqlite-wal") << "x";
  ASSERT_TRUE(counter->waitFor(2));
  EXPECT_EQ(watchedDatabaseFolders(pictures / "Family.photoslibrary"), 2);
}

TEST_F(InotifyChangeObserverTest, stopsCleanlyInTheMiddleOfABurst) {
  auto watcher = std::make_unique<InotifyChangeObserver>(package(), 1h);
  watcher->add(counter);
  append("database/Photos.sqlite");
  watcher.reset();
  EXPECT_EQ(counter->calls(), 0);
}

}  // namespace
}  // namespace lumenfolio
