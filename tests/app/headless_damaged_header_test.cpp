// A library whose database header is short or damaged (a half-copied or
// interrupted restore) while its "-wal" (and perhaps "-shm") lie beside it: an
// export, whatever it concludes, leaves every file of the package as it was,
// adds none and removes none. The "-wal" is then the only copy of the latest
// transactions, so losing it would lose exactly what a recovery needs.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <tuple>

#include "headless_fixture.hpp"
#include "headless_library.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;
using sample::SampleLibrary;

using Damage = std::function<void(std::string&)>;

Damage truncatedTo(std::size_t size) {
  return [size](std::string& bytes) { bytes.resize(size); };
}

Damage byteSet(std::size_t offset, char value) {
  return [offset, value](std::string& bytes) { bytes[offset] = value; };
}

Damage byteFlipped(std::size_t offset) {
  return [offset](std::string& bytes) { bytes[offset] = static_cast<char>(~bytes[offset]); };
}

// Bytes 18 and 19 are the header's write and read versions: 2 means WAL, 1 a
// rollback journal, anything above 2 a format SQLite does not know.
std::vector<std::pair<std::string, Damage>> damages() {
  return {
      {"truncatedTo1", truncatedTo(1)},       {"truncatedTo10", truncatedTo(10)},
      {"truncatedTo19", truncatedTo(19)},     {"byte18Flipped", byteFlipped(18)},
      {"byte19Flipped", byteFlipped(19)},     {"byte18SaysRollback", byteSet(18, 1)},
      {"byte19SaysRollback", byteSet(19, 1)},
  };
}

const char* const kDatabases[] = {"database/Photos.sqlite", "database/search/psi.sqlite",
                                  "database/search/leo.sqlite"};

void damage(const fs::path& file, const Damage& how) {
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  how(bytes);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::set<std::string> namesOf(const std::map<std::string, std::string>& files) {
  std::set<std::string> names;
  for (const auto& [name, bytes] : files) names.insert(name);
  return names;
}

using Case = std::tuple<SampleLibrary::SideFiles, int, int>;  // side files, database, damage

class HeadlessDamagedHeader : public ::testing::TestWithParam<Case> {};

TEST_P(HeadlessDamagedHeader, exportLeavesEveryFileOfThePackageAsItWas) {
  const auto [sideFiles, database, damageIndex] = GetParam();
  HeadlessUser user;
  const auto library = user.scratch("libraries") / "Photos Library.photoslibrary";
  SampleLibrary::write(library, {.assets = 60, .seed = 11, .sideFiles = sideFiles});
  const auto file = library / kDatabases[database];
  ASSERT_TRUE(fs::exists(file.string() + "-wal")) << "the fixture keeps rows in the -wal";
  damage(file, damages()[damageIndex].second);

  const auto before = filesOf(library);
  const auto result =
      user.run({"export", "--library", library.string(), "--folder", user.scratch("shared")});
  EXPECT_NE(result.exitCode, -1) << describe(result);
  const auto after = filesOf(library);
  EXPECT_EQ(namesOf(after), namesOf(before)) << "files were added or removed";
  for (const auto& [name, bytes] : before) {
    const auto found = after.find(name);
    if (found != after.end()) {
      EXPECT_TRUE(found->second == bytes) << name << " changed";
    }
  }
}

std::string sideFilesName(SampleLibrary::SideFiles sideFiles) {
  return sideFiles == SampleLibrary::SideFiles::live ? "walAndShm" : "walOnly";
}

std::string databaseName(int database) {
  static const char* const kNames[] = {"Photos", "psi", "leo"};
  return kNames[database];
}

INSTANTIATE_TEST_SUITE_P(
    DamagedDatabases, HeadlessDamagedHeader,
    ::testing::Combine(::testing::Values(SampleLibrary::SideFiles::walWithoutShm,
                                         SampleLibrary::SideFiles::live),
                       ::testing::Range(0, 3), ::testing::Range(0, 7)),
    [](const auto& info) {
      return sideFilesName(std::get<0>(info.param)) + "_" + databaseName(std::get<1>(info.param)) +
             "_" + damages()[std::get<2>(info.param)].first;
    });

}  // namespace
}  // namespace lumenfolio::testing
