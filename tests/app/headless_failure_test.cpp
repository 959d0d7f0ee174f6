// Every failure a user of the export command can meet ends with its own text,
// a non-zero exit status, and the previous good shared file as it was.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "headless_fixture.hpp"
#include "headless_library.hpp"
#include "support/exporter_texts.hpp"

namespace lumenfolio::testing {
namespace {

constexpr std::string_view kChooseFolder =
    "Choose the shared folder — the same one the lumenfolio apps use.";

class HeadlessFailure : public ::testing::Test {
 protected:
  void SetUp() override { writeSampleLibrary(user_.defaultLibrary()); }

  // A good export into the shared folder, whose file the failures must keep.
  std::map<std::string, std::string> exportGoodFile() {
    const auto result = user_.run({"export", "--folder", shared_.string()});
    EXPECT_EQ(result.exitCode, 0) << describe(result);
    return filesOf(shared_);
  }

  // The run failed with the exit status of its kind and `text` printed once, on stderr.
  static void expectFailure(const CommandResult& result, int exitCode, std::string_view text) {
    EXPECT_EQ(result.exitCode, exitCode) << describe(result);
    const auto at = result.err.find(text);
    EXPECT_NE(at, std::string::npos) << describe(result);
    EXPECT_EQ(result.err.find(text, at + 1), std::string::npos) << describe(result);
    EXPECT_EQ(result.out.find(text), std::string::npos) << describe(result);
    EXPECT_EQ(result.out.find("Wrote "), std::string::npos) << describe(result);
  }

  HeadlessUser user_;
  const std::filesystem::path shared_ = user_.scratch("shared");
};

TEST_F(HeadlessFailure, noLibrary) {
  const auto before = exportGoodFile();
  std::filesystem::rename(user_.defaultLibrary(),
                          user_.scratch("elsewhere") / "moved.photoslibrary");
  const auto result = user_.run({"export"});
  expectFailure(result, 3, texts::kNoLibraryInPictures);
  EXPECT_EQ(filesOf(shared_), before);
}

TEST_F(HeadlessFailure, anUnreadableLibrary) {
  const auto before = exportGoodFile();
  for (const char* database :
       {"database/Photos.sqlite", "database/search/psi.sqlite", "database/search/leo.sqlite"}) {
    const auto file = user_.defaultLibrary() / database;
    for (const char* side : {"-wal", "-shm"}) std::filesystem::remove(file.string() + side);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        << "this is not a database, only garbage";
  }
  const auto result = user_.run({"export"});
  expectFailure(result, 4, texts::kLibraryUnreadable);
  EXPECT_EQ(filesOf(shared_), before);
}

TEST_F(HeadlessFailure, aGivenLibraryThatDoesNotExist) {
  const auto result =
      user_.run({"export", "--library", (user_.home() / "missing.photoslibrary").string(),
                 "--folder", shared_.string()});
  expectFailure(result, 3, "no Photos library package at");
  EXPECT_TRUE(filesOf(shared_).empty());
}

TEST_F(HeadlessFailure, noFolderChosen) {
  const auto result = user_.run({"export"});
  expectFailure(result, 5, kChooseFolder);
}

TEST_F(HeadlessFailure, aFolderGivenThatDoesNotExist) {
  const auto before = exportGoodFile();
  const auto result = user_.run({"export", "--folder", (user_.home() / "no such folder").string()});
  expectFailure(result, 5, "does not exist");
  // The remembered folder is still the good one.
  const auto again = user_.run({"export"});
  EXPECT_EQ(again.exitCode, 0) << describe(again);
  EXPECT_EQ(filesOf(shared_), before);
}

TEST_F(HeadlessFailure, aRememberedFolderThatIsAway) {
  const auto before = exportGoodFile();
  const auto moved = user_.scratch("moved") / "shared";
  std::filesystem::rename(shared_, moved);
  const auto result = user_.run({"export"});
  expectFailure(result, 5, "The shared folder “shared” isn't available right now.");
  EXPECT_EQ(filesOf(moved), before);
  EXPECT_FALSE(std::filesystem::exists(shared_)) << "the exporter never creates folders";
}

// Makes a folder unwritable in a way that also holds for root, or says why it cannot.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::filesystem::path& folder) : folder_(folder) {
    if (::geteuid() != 0) {
      std::filesystem::permissions(
          folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
      how_ = How::mode;
    } else if (run("chattr +i '" + folder.string() + "' 2>/dev/null")) {
      how_ = How::immutable;
    } else if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0) {
      if (::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) ==
          0) {
        how_ = How::readOnlyMount;
      } else {
        ::umount(folder.c_str());
      }
    }
    if (how_ != How::none && canWrite()) {
      undo();
      how_ = How::none;
    }
  }
  ~UnwritableFolder() { undo(); }

  bool works() const { return how_ != How::none; }

 private:
  enum class How { none, mode, immutable, readOnlyMount };

  static bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

  bool canWrite() const {
    const auto probe = folder_ / ".probe";
    const bool written = static_cast<bool>(std::ofstream(probe));
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return written;
  }

  void undo() {
    switch (how_) {
      case How::mode:
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
        break;
      case How::immutable:
        run("chattr -i '" + folder_.string() + "' 2>/dev/null");
        break;
      case How::readOnlyMount:
        ::umount(folder_.c_str());
        break;
      case How::none:
        break;
    }
    how_ = How::none;
  }

  std::filesystem::path folder_;
  How how_ = How::none;
};

TEST_F(HeadlessFailure, anUnwritableFolder) {
  const auto before = exportGoodFile();
  // A different library, so the run has something new to write.
  const auto other = user_.scratch("other") / "Other.photoslibrary";
  writeSampleLibrary(other, 120, 99);

  const UnwritableFolder locked(shared_);
  if (!locked.works()) {
    GTEST_SKIP() << "no way to make a folder unwritable for root here "
                    "(chattr +i and a read-only bind mount both failed)";
  }
  const auto result = user_.run({"export", "--library", other.string()});
  expectFailure(result, 6, "Couldn't write the shared file.");
  EXPECT_EQ(filesOf(shared_), before);
}

}  // namespace
}  // namespace lumenfolio::testing
