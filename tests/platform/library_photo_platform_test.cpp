#include "platform/linux/library_photo_platform.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "exporter/exporter_change_observer.hpp"
#include "sample_library/sample_library.hpp"
#include "sqlite/sqlite_database.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

constexpr const char* kFullAssetTable =
    "CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZUUID VARCHAR, ZKIND INTEGER, "
    "ZTRASHEDSTATE INTEGER, ZHIDDEN INTEGER, ZVISIBILITYSTATE INTEGER, ZCLOUDASSETGUID VARCHAR);";

// The UUID text of asset number `n`, in the library's 8-4-4-4-12 form.
std::string uuid(int n) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-0000-4000-8000-%012d", n, n);
  return text;
}

std::string local(int n) {
  return uuid(n) + "/L0/001";
}

class LibraryPhotoPlatformTest : public ::testing::Test {
 protected:
  std::filesystem::path pictures() const { return temp / "Pictures"; }
  std::filesystem::path package() const { return pictures() / "Photos Library.photoslibrary"; }
  std::filesystem::path photosDatabase() const { return package() / "database" / "Photos.sqlite"; }

  // Creates the library's Photos.sqlite with `schema`, then runs `rows`.
  void writeLibrary(const std::string& schema, const std::string& rows = "") {
    std::filesystem::create_directories(photosDatabase().parent_path());
    execute(schema + rows);
  }
  void execute(const std::string& sql) {
    const auto db =
        SqliteDatabase::open(photosDatabase().string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    ASSERT_TRUE(db);
    ASSERT_EQ(db.exec(sql), SQLITE_OK) << sql;
  }
  // A visible, untrashed image with a cloud GUID, unless the SQL says otherwise.
  static std::string asset(int pk, const std::string& uuidText, int kind = 0, int trashed = 0,
                           int hidden = 0, int visibility = 0,
                           const std::string& guid = "'GUID-' || abs(random())") {
    return "INSERT INTO ZASSET VALUES (" + std::to_string(pk) + ", '" + uuidText + "', " +
           std::to_string(kind) + ", " + std::to_string(trashed) + ", " + std::to_string(hidden) +
           ", " + std::to_string(visibility) + ", " + guid + ");";
  }

  testing::TempDir temp;
};

TEST_F(LibraryPhotoPlatformTest, accessIsAlwaysAuthorizedAndARequestAnswersAtOnce) {
  LibraryPhotoPlatform platform(pictures());
  EXPECT_EQ(platform.authorizationStatus(), AuthorizationStatus::authorized);
  std::optional<AuthorizationStatus> answer;
  platform.requestAuthorization([&](AuthorizationStatus status) { answer = status; });
  EXPECT_EQ(answer, AuthorizationStatus::authorized);
}

TEST_F(LibraryPhotoPlatformTest, fetchesVisibleUntrashedImagesInPrimaryKeyOrder) {
  writeLibrary(kFullAssetTable,
               asset(5, uuid(5)) + asset(2, uuid(2)) + asset(3, uuid(3), /*kind=*/1) +
                   asset(4, uuid(4), 0, /*trashed=*/1) + asset(6, uuid(6), 0, 0, /*hidden=*/1) +
                   asset(7, uuid(7), 0, 0, 0, /*visibility=*/2) + asset(1, uuid(1)));
  LibraryPhotoPlatform platform(pictures());
  EXPECT_EQ(platform.fetchImageAssetIdentifiers(),
            (std::vector<std::string>{local(1), local(2), local(5)}));
}

TEST_F(LibraryPhotoPlatformTest, leavesOutTheConditionsWhoseColumnsTheLibraryLacks) {
  writeLibrary(
      "CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZUUID VARCHAR, ZKIND INTEGER, "
      "ZTRASHEDSTATE INTEGER, ZCLOUDASSETGUID VARCHAR);",
      "INSERT INTO ZASSET VALUES (1, '" + uuid(1) + "', 0, 0, 'g1');" +
          "INSERT INTO ZASSET VALUES (2, '" + uuid(2) + "', 1, 0, 'g2');" +
          "INSERT INTO ZASSET VALUES (3, '" + uuid(3) + "', 0, 1, 'g3');" +
          "INSERT INTO ZASSET VALUES (4, '" + uuid(4) + "', 0, 0, 'g4');");
  LibraryPhotoPlatform platform(pictures());
  EXPECT_EQ(platform.fetchImageAssetIdentifiers(), (std::vector<std::string>{local(1), local(4)}));
}

TEST_F(LibraryPhotoPlatformTest, withoutAnyFilterColumnEveryAssetCounts) {
  writeLibrary("CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZUUID VARCHAR);",
               "INSERT INTO ZASSET VALUES (2, '" + uuid(2) + "');" +
                   "INSERT INTO ZASSET VALUES (1, '" + uuid(1) + "');");
  LibraryPhotoPlatform platform(pictures());
  EXPECT_EQ(platform.fetchImageAssetIdentifiers(), (std::vector<std::string>{local(1), local(2)}));
  // Without the GUID column nothing maps, and nothing breaks.
  const auto answers = platform.cloudIdentifierMappings({local(1)});
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_FALSE(answers[0].cloudIdentifier);
}

TEST_F(LibraryPhotoPlatformTest, cleansTheUUIDsAndSkipsMissingOnes) {
  writeLibrary(
      kFullAssetTable, asset(1, "  " + uuid(1) + "\n") + asset(2, "") +
                           "INSERT INTO ZASSET VALUES (3, NULL, 0, 0, 0, 0, 'g');" +
                           "INSERT INTO ZASSET VALUES (4, CAST(x'" +
                           [] {
                             std::string hex;
                             for (const unsigned char c : uuid(4)) {
                               char pair[3];
                               std::snprintf(pair, sizeof pair, "%02X", c);
                               hex += pair;
                             }
                             return hex + "0041424344";  // NUL, then junk
                           }() +
                           "' AS TEXT), 0, 0, 0, 0, 'g4');" + asset(5, " \t "));
  LibraryPhotoPlatform platform(pictures());
  EXPECT_EQ(platform.fetchImageAssetIdentifiers(), (std::vector<std::string>{local(1), local(4)}));
}

TEST_F(LibraryPhotoPlatformTest, mapsEachIdentifierToTheCleanedCloudGUIDOfItsAsset) {
  writeLibrary(kFullAssetTable, asset(1, uuid(1), 0, 0, 0, 0, "'  cloud-one '") +
                                    asset(2, uuid(2), 0, 0, 0, 0, "''") +
                                    asset(3, uuid(3), 0, 0, 0, 0, "NULL") +
                                    asset(4, uuid(4), 0, /*trashed=*/1, 0, 0, "'cloud-four'"));
  LibraryPhotoPlatform platform(pictures());
  platform.fetchImageAssetIdentifiers();
  const std::vector<std::string> asked = {local(1), local(2), local(3),      local(4),
                                          local(9), "short",  uuid(1) + "/X"};
  const auto answers = platform.cloudIdentifierMappings(asked);
  ASSERT_EQ(answers.size(), asked.size());
  for (std::size_t at = 0; at < asked.size(); ++at)
    EXPECT_EQ(answers[at].localIdentifier, asked[at]);
  EXPECT_EQ(answers[0].cloudIdentifier, "cloud-one");
  EXPECT_FALSE(answers[1].cloudIdentifier) << "an empty GUID is a failure";
  EXPECT_FALSE(answers[2].cloudIdentifier) << "a NULL GUID is a failure";
  EXPECT_EQ(answers[3].cloudIdentifier, "cloud-four") << "any asset of the library maps";
  EXPECT_FALSE(answers[4].cloudIdentifier) << "an unknown asset is a failure";
  EXPECT_FALSE(answers[5].cloudIdentifier);
  EXPECT_EQ(answers[6].cloudIdentifier, "cloud-one") << "only the first 36 characters count";
}

TEST_F(LibraryPhotoPlatformTest, answersAtMost2500IdentifiersOfOneRequest) {
  std::string rows = "BEGIN;";
  for (int n = 1; n <= 2501; ++n)
    rows += asset(n, uuid(n), 0, 0, 0, 0, "'c" + std::to_string(n) + "'");
  writeLibrary(kFullAssetTable, rows + "COMMIT;");
  LibraryPhotoPlatform platform(pictures());
  const auto identifiers = platform.fetchImageAssetIdentifiers();
  ASSERT_EQ(identifiers.size(), 2501u);

  const auto all = platform.cloudIdentifierMappings(identifiers);
  ASSERT_EQ(all.size(), 2501u);
  EXPECT_EQ(all[2499].cloudIdentifier, "c2500");
  EXPECT_FALSE(all[2500].cloudIdentifier);

  const auto last = platform.cloudIdentifierMappings({identifiers.back()});
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].cloudIdentifier, "c2501");
}

TEST_F(LibraryPhotoPlatformTest, aNewFetchSeesTheLibraryAsItIsNow) {
  writeLibrary(kFullAssetTable, asset(1, uuid(1), 0, 0, 0, 0, "'before'"));
  LibraryPhotoPlatform platform(pictures());
  EXPECT_EQ(platform.fetchImageAssetIdentifiers().size(), 1u);
  EXPECT_EQ(platform.cloudIdentifierMappings({local(1)})[0].cloudIdentifier, "before");

  execute("UPDATE ZASSET SET ZCLOUDASSETGUID = 'after';" + asset(2, uuid(2)));
  EXPECT_EQ(platform.fetchImageAssetIdentifiers(), (std::vector<std::string>{local(1), local(2)}));
  EXPECT_EQ(platform.cloudIdentifierMappings({local(1)})[0].cloudIdentifier, "after");

  // A synchronised copy replaces the whole file with a newer one.
  const auto replacement = temp / "replacement.sqlite";
  {
    const auto db =
        SqliteDatabase::open(replacement.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    ASSERT_EQ(db.exec(std::string(kFullAssetTable) + asset(3, uuid(3), 0, 0, 0, 0, "'third'")),
              SQLITE_OK);
  }
  std::filesystem::rename(replacement, photosDatabase());
  EXPECT_EQ(platform.fetchImageAssetIdentifiers(), std::vector<std::string>{local(3)});
  EXPECT_EQ(platform.cloudIdentifierMappings({local(3)})[0].cloudIdentifier, "third");
}

TEST_F(LibraryPhotoPlatformTest, withoutALibraryThereAreNoAssetsAndNoMappings) {
  std::filesystem::create_directories(pictures());
  LibraryPhotoPlatform platform(pictures());
  EXPECT_EQ(platform.libraryPackage(), std::nullopt);
  EXPECT_TRUE(platform.fetchImageAssetIdentifiers().empty());
  const auto answers = platform.cloudIdentifierMappings({local(1)});
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_FALSE(answers[0].cloudIdentifier);
}

TEST_F(LibraryPhotoPlatformTest, anUnreadableLibraryHasNoAssets) {
  std::filesystem::create_directories(photosDatabase().parent_path());
  std::ofstream(photosDatabase()) << "this is not a database, only some text long enough to look";
  LibraryPhotoPlatform platform(pictures());
  EXPECT_TRUE(platform.fetchImageAssetIdentifiers().empty());
}

TEST_F(LibraryPhotoPlatformTest, aLibraryWithoutTheAssetTableHasNoAssets) {
  writeLibrary("CREATE TABLE ZOTHER (Z_PK INTEGER PRIMARY KEY);");
  LibraryPhotoPlatform platform(pictures());
  EXPECT_TRUE(platform.fetchImageAssetIdentifiers().empty());
}

TEST_F(LibraryPhotoPlatformTest, readsAnOlderLibrarysGenericAssetTableInItsPlace) {
  std::string table = kFullAssetTable;
  table.replace(table.find("ZASSET"), 6, "ZGENERICASSET");
  std::string rows = asset(2, uuid(2), 0, 0, 0, 0, "'cloud-two'") + asset(1, uuid(1)) +
                     asset(3, uuid(3), /*kind=*/1);
  for (auto at = rows.find("INTO ZASSET"); at != std::string::npos; at = rows.find("INTO ZASSET"))
    rows.replace(at, 11, "INTO ZGENERICASSET");
  writeLibrary(table, rows);
  LibraryPhotoPlatform platform(pictures());
  EXPECT_EQ(platform.fetchImageAssetIdentifiers(), (std::vector<std::string>{local(1), local(2)}));
  const auto answers = platform.cloudIdentifierMappings({local(2)});
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].cloudIdentifier, "cloud-two");
}

TEST_F(LibraryPhotoPlatformTest, findsALibraryOfAnyNameInThePicturesFolderOrTakesTheOneGiven) {
  const auto other = pictures() / "Other.photoslibrary";
  std::filesystem::create_directories(other / "database");
  {
    const auto db = SqliteDatabase::open((other / "database" / "Photos.sqlite").string(),
                                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    ASSERT_EQ(db.exec(std::string(kFullAssetTable) + asset(1, uuid(1))), SQLITE_OK);
  }
  LibraryPhotoPlatform found(pictures());
  EXPECT_EQ(found.libraryPackage(), other);
  EXPECT_EQ(found.fetchImageAssetIdentifiers(), std::vector<std::string>{local(1)});

  writeLibrary(kFullAssetTable, asset(1, uuid(7)));
  LibraryPhotoPlatform given(temp / "elsewhere", other);
  EXPECT_EQ(given.fetchImageAssetIdentifiers(), std::vector<std::string>{local(1)});
  LibraryPhotoPlatform preferred(pictures());
  EXPECT_EQ(preferred.fetchImageAssetIdentifiers(), std::vector<std::string>{uuid(7) + "/L0/001"});
}

TEST_F(LibraryPhotoPlatformTest, neverChangesTheLibraryFiles) {
  writeLibrary(kFullAssetTable, asset(1, uuid(1)));
  const auto before = std::filesystem::last_write_time(photosDatabase());
  {
    LibraryPhotoPlatform platform(pictures());
    platform.fetchImageAssetIdentifiers();
    platform.cloudIdentifierMappings({local(1)});
  }
  EXPECT_EQ(std::filesystem::last_write_time(photosDatabase()), before);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(photosDatabase().parent_path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"Photos.sqlite"});
}

TEST_F(LibraryPhotoPlatformTest, readsTheSampleLibraryWhateverStateItsSideFilesAreIn) {
  using SideFiles = sample::SampleLibrary::SideFiles;
  for (const auto sideFiles : {SideFiles::live, SideFiles::none, SideFiles::walWithoutShm}) {
    SCOPED_TRACE(static_cast<int>(sideFiles));
    std::filesystem::remove_all(pictures());
    const auto summary =
        sample::SampleLibrary::write(package(), {.assets = 300, .seed = 7, .sideFiles = sideFiles});
    LibraryPhotoPlatform platform(pictures());
    const auto identifiers = platform.fetchImageAssetIdentifiers();
    EXPECT_EQ(static_cast<int>(identifiers.size()), summary.images);
    int mapped = 0;
    for (const auto& answer : platform.cloudIdentifierMappings(identifiers)) {
      EXPECT_EQ(answer.localIdentifier.size(), 36u + 7u);
      if (answer.cloudIdentifier) ++mapped;
    }
    EXPECT_EQ(mapped, summary.imagesWithCloudID);
    EXPECT_GT(mapped, 0);
  }
}

// The library is not held open between fetches: its owner, starting later,
// can still write to it while the platform's mappings are in use.
TEST_F(LibraryPhotoPlatformTest, doesNotHoldTheLibraryOpenAfterAFetch) {
  sample::SampleLibrary::write(package(), {.assets = 50, .seed = 3});
  LibraryPhotoPlatform platform(pictures());
  const auto identifiers = platform.fetchImageAssetIdentifiers();
  ASSERT_FALSE(identifiers.empty());

  const auto owner = SqliteDatabase::open(photosDatabase().string(), SQLITE_OPEN_READWRITE);
  ASSERT_TRUE(owner);
  EXPECT_EQ(owner.exec("UPDATE ZASSET SET ZCLOUDASSETGUID = 'MOVED' WHERE Z_PK = 1"), SQLITE_OK);

  // The mappings answer from what the fetch read.
  const auto answers = platform.cloudIdentifierMappings(identifiers);
  EXPECT_EQ(answers.size(), identifiers.size());
}

// An observer whose first report fulfils a promise the test can wait on.
struct FirstReport {
  std::promise<void> promise;
  std::once_flag once;
  std::shared_ptr<ChangeObserver> observer = std::make_shared<ExporterChangeObserver>(
      [this] { std::call_once(once, [this] { promise.set_value(); }); });
  bool arrives() {
    return promise.get_future().wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  }
};

TEST_F(LibraryPhotoPlatformTest, reportsChangesOfTheLibraryToRegisteredObservers) {
  writeLibrary(kFullAssetTable, asset(1, uuid(1)));
  LibraryPhotoPlatform platform(pictures());
  FirstReport first;
  FirstReport second;
  platform.registerChangeObserver(first.observer);
  platform.registerChangeObserver(second.observer);
  execute(asset(2, uuid(2)));
  EXPECT_TRUE(first.arrives());
  EXPECT_TRUE(second.arrives());
}

TEST_F(LibraryPhotoPlatformTest, registeringWithoutALibraryIsHarmless) {
  LibraryPhotoPlatform platform(pictures());
  FirstReport report;
  platform.registerChangeObserver(report.observer);
  EXPECT_TRUE(platform.fetchImageAssetIdentifiers().empty());
}

}  // namespace
}  // namespace lumenfolio
