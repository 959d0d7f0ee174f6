// The export command end to end: the real binary on sample libraries.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <set>

#include "app/shared_file_lock.hpp"
#include "exporter/exporter.hpp"
#include "headless_fixture.hpp"
#include "headless_library.hpp"
#include "metadata/metadata_store.hpp"
#include "platform/qt/settings_preferences.hpp"

namespace lumenfolio::testing {
namespace {

std::string upperCased(std::string text) {
  for (auto& character : text)
    character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
  return text;
}

class HeadlessExport : public ::testing::Test {
 protected:
  void SetUp() override {
    summary_ = writeSampleLibrary(library_);
    copyPackage(library_, copy_);
  }

  CommandResult exportNow() const {
    return user_.run({"export", "--library", library_.string(), "--folder", shared_.string()});
  }

  // What the library's own tables say: the listed images with a cloud identifier.
  std::map<std::string, ListedImage> listedWithCloudID() const {
    std::map<std::string, ListedImage> byGuid;
    for (const auto& image : listedImages(copy_)) {
      if (!image.cloudGuid.empty()) byGuid[image.cloudGuid] = image;
    }
    return byGuid;
  }

  std::optional<PreferenceValue> preference(std::string_view key) const {
    return SettingsPreferences(user_.preferencesFile()).value(std::string(key));
  }

  HeadlessUser user_;
  const std::filesystem::path library_ =
      user_.scratch("libraries") / "Photos Library.photoslibrary";
  const std::filesystem::path copy_ = user_.scratch("copies") / "reading.photoslibrary";
  const std::filesystem::path shared_ = user_.scratch("shared");
  sample::SampleLibrary::Summary summary_;
};

TEST_F(HeadlessExport, printsEachStageAndTheSharedFile) {
  const auto result = exportNow();
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  const auto file = sharedFileIn(shared_);
  const auto rows = readSharedFile(file).features.size();

  const std::vector<std::string> stages = {
      "Reading the library databases…", "Reading places, people and camera details…",
      "Matching photos…", "Writing " + std::to_string(rows) + " photos…",
      "Wrote " + std::to_string(rows) + " photos to " + file.string()};
  std::size_t from = 0;
  for (const auto& stage : stages) {
    const auto at = result.out.find(stage, from);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << stage << "\n" << result.out;
    from = at + stage.size();
  }
  EXPECT_EQ(result.err, "");
}

TEST_F(HeadlessExport, writesARowForEachListedImageWithACloudIdentifierAndData) {
  ASSERT_EQ(exportNow().exitCode, 0);
  const auto content = readSharedFile(sharedFileIn(shared_));
  EXPECT_EQ(content.integrity, "ok");
  EXPECT_EQ(content.otherRows, 0);
  EXPECT_EQ(content.meta.at("schema"), "6");
  EXPECT_EQ(content.meta.at("minReader"), "5");
  EXPECT_TRUE(content.meta.at("device").ends_with(" (exporter)")) << content.meta.at("device");

  const auto candidates = listedWithCloudID();
  ASSERT_EQ(static_cast<int>(candidates.size()), summary_.imagesWithCloudID);
  for (const auto& [assetID, row] : content.features) {
    EXPECT_TRUE(candidates.contains(assetID))
        << assetID << " is no listed image's cloud identifier";
  }
  // Exactly those with something the library reader found for them: the
  // reader's own results, looked up the way a run looks them up.
  MetadataStore store(user_.pictures(), copy_);
  const auto features = store.features();
  const auto measures = store.measures();
  const auto terms = store.searchTerms();
  const auto panels = store.panels();
  const auto found = [](const auto& table, const std::string& key) {
    const auto entry = table.find(key);
    return entry != table.end() ? std::optional(entry->second) : std::nullopt;
  };
  std::set<std::string> expected;
  for (const auto& [guid, image] : candidates) {
    const auto feature = found(features, image.uuid).value_or(AssetFeatures{});
    const auto panel = found(panels, upperCased(image.uuid));
    if (std::max(feature.sharpness, feature.exposure) > 0 || feature.faces > 0 ||
        feature.isScreenshot || found(measures, image.uuid) ||
        !found(terms, image.uuid).value_or("").empty() || panel) {
      expected.insert(guid);
    }
  }
  std::set<std::string> written;
  for (const auto& [assetID, row] : content.features) written.insert(assetID);
  EXPECT_EQ(written, expected);
  EXPECT_GT(written.size(), candidates.size() / 2);
}

TEST_F(HeadlessExport, rowsCarryTheLibrarysValuesForAChosenAsset) {
  ASSERT_EQ(exportNow().exitCode, 0);
  const auto content = readSharedFile(sharedFileIn(shared_));

  MetadataStore store(user_.pictures(), copy_);
  const auto measures = store.measures();
  const auto terms = store.searchTerms();
  const auto panels = store.panels();

  const auto db = openCopy(photosDatabase(copy_));
  SqliteStatement select(
      db,
      std::string("SELECT a.ZUUID, a.ZCLOUDASSETGUID, m.ZBLURRINESSSCORE, m.ZEXPOSURESCORE, "
                  "COALESCE(a.ZISDETECTEDSCREENSHOT, 0), "
                  "(SELECT COUNT(*) FROM ZDETECTEDFACE d WHERE d.ZASSETFORFACE = a.Z_PK), "
                  "(SELECT COUNT(*) FROM ZDETECTEDFACE d WHERE d.ZASSETFORFACE = a.Z_PK AND "
                  "(d.ZISLEFTEYECLOSED = 1 OR d.ZISRIGHTEYECLOSED = 1)), "
                  "(SELECT COUNT(*) FROM ZDETECTEDFACE d WHERE d.ZASSETFORFACE = a.Z_PK AND "
                  "d.ZHASSMILE = 1), e.ZCAMERAMODEL "
                  "FROM ZASSET a JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK "
                  "JOIN ZEXTENDEDATTRIBUTES e ON e.ZASSET = a.Z_PK WHERE ") +
          kListedCondition +
          " AND TRIM(COALESCE(a.ZCLOUDASSETGUID, '')) <> '' AND e.ZCAMERAMODEL IS NOT NULL "
          "AND a.ZUUID = UPPER(a.ZUUID) AND a.ZUUID = TRIM(a.ZUUID) "
          "AND (SELECT COUNT(*) FROM ZMEDIAANALYSISASSETATTRIBUTES n WHERE n.ZASSET = a.Z_PK) = 1 "
          "ORDER BY a.Z_PK");
  int checked = 0;
  while (select.step() && checked < 3) {
    const std::string uuid(*select.columnText(0));
    if (!terms.contains(uuid) || !panels.contains(uuid)) continue;
    const std::string guid = trimmed(*select.columnText(1));
    SCOPED_TRACE(uuid + " / " + guid);
    ASSERT_TRUE(content.features.contains(guid));
    const auto& row = content.features.at(guid);
    EXPECT_EQ(row.sharpness, select.columnDouble(2));
    EXPECT_EQ(row.exposure, select.columnDouble(3));
    EXPECT_EQ(row.screenshot, select.columnInt(4) != 0 ? 1 : 0);
    EXPECT_EQ(row.faces, select.columnInt(5));
    EXPECT_EQ(row.eyesClosed, select.columnInt(6));
    EXPECT_EQ(row.smiles, select.columnInt(7));
    ASSERT_TRUE(measures.contains(uuid));
    EXPECT_EQ(row.measures,
              std::vector<std::uint8_t>(measures.at(uuid).begin(), measures.at(uuid).end()));
    EXPECT_EQ(row.measures.size() % 5, 0u);
    EXPECT_EQ(row.terms, terms.at(uuid));
    EXPECT_FALSE(row.terms.empty());
    EXPECT_EQ(row.panel, panels.at(uuid));
    EXPECT_NE(row.panel.find(trimmed(*select.columnText(8))), std::string::npos)
        << "the panel should name the camera: " << row.panel;
    ++checked;
  }
  EXPECT_EQ(checked, 3) << "the sample library should hold fully described assets";
}

TEST_F(HeadlessExport, dropsAssetsWithoutACloudIdentifierOrWithoutData) {
  const auto listed = listedImages(copy_);
  const auto withGuid = std::find_if(listed.begin(), listed.end(), [](const ListedImage& image) {
    return !image.cloudGuid.empty();
  });
  ASSERT_NE(withGuid, listed.end());
  // One known asset loses its cloud identifier; a new one has an identifier but
  // nothing the databases know about it (its location and size rule out the
  // flags that would otherwise count as data).
  execute(
      photosDatabase(library_),
      "UPDATE ZASSET SET ZCLOUDASSETGUID = NULL WHERE Z_PK = " + std::to_string(withGuid->pk) +
          ";"
          "INSERT INTO ZASSET (Z_PK, ZUUID, ZCLOUDASSETGUID, ZKIND, ZTRASHEDSTATE, ZHIDDEN, "
          "ZVISIBILITYSTATE, ZLATITUDE, ZLONGITUDE, ZWIDTH, ZHEIGHT, ZFAVORITE, ZHDRTYPE, "
          "ZDEPTHTYPE, "
          "ZDUPLICATEASSETVISIBILITYSTATE) VALUES ((SELECT MAX(Z_PK) + 1 FROM ZASSET), "
          "'0D0D0D0D-1111-4222-8333-444455556666', 'CLOUD-WITHOUT-DATA', 0, 0, 0, 0, 48.1, 11.5, "
          "4000, 3000, 0, 0, 0, 0)");

  ASSERT_EQ(exportNow().exitCode, 0);
  const auto content = readSharedFile(sharedFileIn(shared_));
  EXPECT_FALSE(content.features.contains(withGuid->cloudGuid));
  EXPECT_FALSE(content.features.contains("CLOUD-WITHOUT-DATA"));
  EXPECT_FALSE(content.features.empty());
}

TEST_F(HeadlessExport, twoAssetsSharingACloudIdentifierCountTwiceAndKeepTheLaterRow) {
  const auto listed = listedImages(copy_);
  std::vector<ListedImage> analysed;
  for (const auto& image : listed) {
    if (image.cloudGuid.empty()) continue;
    const auto rows = countOf(photosDatabase(copy_),
                              "SELECT COUNT(*) FROM ZMEDIAANALYSISASSETATTRIBUTES WHERE ZASSET = " +
                                  std::to_string(image.pk) + " AND ZBLURRINESSSCORE > 0");
    if (rows == 1) analysed.push_back(image);
    if (analysed.size() == 2) break;
  }
  ASSERT_EQ(analysed.size(), 2u);
  const auto& earlier = analysed[0];
  const auto& later = analysed[1];
  execute(photosDatabase(library_), "UPDATE ZASSET SET ZCLOUDASSETGUID = '" + earlier.cloudGuid +
                                        "' WHERE Z_PK = " + std::to_string(later.pk));

  const auto result = exportNow();
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  const auto content = readSharedFile(sharedFileIn(shared_));
  const auto rows = content.features.size();
  EXPECT_NE(result.out.find("Writing " + std::to_string(rows + 1) + " photos…"), std::string::npos)
      << result.out;
  EXPECT_FALSE(content.features.contains(later.cloudGuid));
  const auto sharpnessOf = [&](const ListedImage& image) {
    return doubleOf(photosDatabase(copy_),
                    "SELECT ZBLURRINESSSCORE FROM ZMEDIAANALYSISASSETATTRIBUTES WHERE ZASSET = " +
                        std::to_string(image.pk));
  };
  ASSERT_NE(sharpnessOf(earlier), sharpnessOf(later));
  EXPECT_EQ(content.features.at(earlier.cloudGuid).sharpness, sharpnessOf(later));
}

TEST_F(HeadlessExport, aLibraryWithoutCloudIdentifiersGivesAnEmptyFileAndSaysWhy) {
  execute(photosDatabase(library_), "UPDATE ZASSET SET ZCLOUDASSETGUID = NULL");
  const auto result = exportNow();
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  const auto file = sharedFileIn(shared_);
  EXPECT_TRUE(readSharedFile(file).features.empty());
  EXPECT_NE(result.out.find("Writing 0 photos…"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Wrote 0 photos to " + file.string() + " (none of the library's " +
                            std::to_string(summary_.images) + " images has an iCloud identifier)"),
            std::string::npos)
      << result.out;
}

struct FileStamp {
  ino_t inode;
  timespec modified;
  static FileStamp of(const std::filesystem::path& file) {
    struct stat status {};
    EXPECT_EQ(::stat(file.c_str(), &status), 0) << file;
    return {status.st_ino, status.st_mtim};
  }
  bool operator==(const FileStamp& other) const {
    return inode == other.inode && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
  }
};

TEST_F(HeadlessExport, aSecondRunLeavesTheFileAloneButRecordsTheExport) {
  ASSERT_EQ(exportNow().exitCode, 0);
  const auto file = sharedFileIn(shared_);
  const auto stamp = FileStamp::of(file);
  const auto firstExport = preference("exporter.lastExport");
  const auto digest = preference("exporter.digest");
  ASSERT_TRUE(firstExport && digest);

  const auto second = exportNow();
  ASSERT_EQ(second.exitCode, 0) << describe(second);
  EXPECT_TRUE(FileStamp::of(file) == stamp) << "the unchanged file was written again";
  EXPECT_EQ(second.out.find("Writing "), std::string::npos) << second.out;
  const auto rows = readSharedFile(file).features.size();
  EXPECT_NE(second.out.find("Unchanged: " + std::to_string(rows) + " photos in " + file.string()),
            std::string::npos)
      << second.out;
  const auto secondExport = preference("exporter.lastExport");
  ASSERT_TRUE(secondExport);
  EXPECT_GT(std::get<PreferenceDate>(*secondExport), std::get<PreferenceDate>(*firstExport));
  EXPECT_EQ(preference("exporter.digest"), digest);
  EXPECT_EQ(preference("exporter.lastCount"), PreferenceValue(static_cast<std::int64_t>(rows)));
}

TEST_F(HeadlessExport, aDeletedSharedFileIsWrittenAgain) {
  ASSERT_EQ(exportNow().exitCode, 0);
  const auto file = sharedFileIn(shared_);
  const auto before = readSharedFile(file).features;
  std::filesystem::remove(file);

  const auto again = exportNow();
  ASSERT_EQ(again.exitCode, 0) << describe(again);
  EXPECT_NE(again.out.find("Wrote "), std::string::npos) << again.out;
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(readSharedFile(file).features.size(), before.size());
}

TEST_F(HeadlessExport, leavesTheLibraryPackageByteForByteAsItWas) {
  const auto before = filesOf(library_);
  ASSERT_TRUE(before.contains("database/Photos.sqlite-wal"))
      << "the sample should be a live library";
  ASSERT_EQ(exportNow().exitCode, 0);
  ASSERT_EQ(exportNow().exitCode, 0);
  const auto after = filesOf(library_);
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [name, bytes] : before) {
    ASSERT_TRUE(after.contains(name)) << name;
    EXPECT_TRUE(after.at(name) == bytes) << name << " changed";
  }
}

TEST_F(HeadlessExport, findsTheLibraryInThePicturesFolderWithoutBeingTold) {
  std::filesystem::rename(library_, user_.defaultLibrary());
  const auto result = user_.run({"export", "--folder", shared_.string()});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_FALSE(readSharedFile(sharedFileIn(shared_)).features.empty());
}

TEST_F(HeadlessExport, remembersTheFolderForLaterRuns) {
  ASSERT_EQ(exportNow().exitCode, 0);
  std::filesystem::remove(sharedFileIn(shared_));
  const auto result = user_.run({"export", "--library", library_.string()});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_TRUE(std::filesystem::exists(sharedFileIn(shared_)));
}

// A first export that is given a folder still takes back the settings an older
// version left behind: the folder it remembers must not hide them.
TEST_F(HeadlessExport, aGivenFolderDoesNotStopTheOlderSettingsFromComingBack) {
  const auto old = Exporter::oldPreferencesFile(user_.home());
  std::filesystem::create_directories(old.parent_path());
  std::ofstream(old) << R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>sync.deviceID</key><string>0a1b2c3d</string>
  <key>exporter.lastCount</key><integer>17</integer>
</dict></plist>
)";
  const auto result = exportNow();
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_EQ(sharedFileIn(shared_).filename(), "pixdeck-0a1b2c3d-features.pdsync");
  EXPECT_EQ(preference("sync.deviceID"), PreferenceValue(std::string("0a1b2c3d")));
  EXPECT_FALSE(std::filesystem::exists(old)) << "the older file is removed once taken back";
}

TEST_F(HeadlessExport, twoExportsAtOnceLeaveOneCompleteFile) {
  // Both processes build the same ".part" file; the per-user lock keeps one
  // from removing or moving the other's half-built file.
  ASSERT_EQ(
      user_.run({"export", "--library", library_.string(), "--folder", shared_.string()}).exitCode,
      0);
  std::filesystem::remove(sharedFileIn(shared_));
  for (int round = 0; round < 3; ++round) {
    const auto first = user_.start({"export", "--library", library_.string()});
    const auto second = user_.start({"export", "--library", library_.string()});
    const auto firstResult = first->finish();
    const auto secondResult = second->finish();
    EXPECT_EQ(firstResult.exitCode, 0) << describe(firstResult);
    EXPECT_EQ(secondResult.exitCode, 0) << describe(secondResult);
    const auto content = readSharedFile(sharedFileIn(shared_));
    EXPECT_EQ(content.integrity, "ok");
    EXPECT_FALSE(content.features.empty());
    EXPECT_EQ(content.meta.size(), 4u);
    // A fresh write each round, so both processes write rather than skip.
    std::filesystem::remove(sharedFileIn(shared_));
  }
}

TEST_F(HeadlessExport, waitsForTheWriteLockAnotherProcessHolds) {
  std::optional<SharedFileLock> held(std::in_place,
                                     user_.runtimeDir() / "lumenfolio-exporter.lock");
  const auto exporting =
      user_.start({"export", "--library", library_.string(), "--folder", shared_.string()});
  ASSERT_TRUE(exporting->waitForOutput(" photos…")) << exporting->outputSoFar();
  EXPECT_TRUE(std::filesystem::is_empty(shared_)) << "written while another process held the lock";

  held.reset();
  const auto result = exporting->finish();
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_FALSE(readSharedFile(sharedFileIn(shared_)).features.empty());
}

// An export where no input changed ends at once, without reading; a touched
// "-wal" alone is a change, so the next export reads the library again.
TEST_F(HeadlessExport, aTouchedWalAloneReadsTheLibraryAgain) {
  const std::string reading = "Reading the library databases\u2026";
  ASSERT_EQ(exportNow().exitCode, 0);
  const auto unchanged = exportNow();
  ASSERT_EQ(unchanged.exitCode, 0) << describe(unchanged);
  EXPECT_NE(unchanged.out.find("Unchanged: "), std::string::npos) << describe(unchanged);
  EXPECT_EQ(unchanged.out.find(reading), std::string::npos) << describe(unchanged);

  const auto wal = std::filesystem::path(photosDatabase(library_).string() + "-wal");
  ASSERT_TRUE(std::filesystem::exists(wal));
  std::filesystem::last_write_time(wal,
                                   std::filesystem::last_write_time(wal) + std::chrono::seconds(2));
  const auto afterTouch = exportNow();
  ASSERT_EQ(afterTouch.exitCode, 0) << describe(afterTouch);
  EXPECT_NE(afterTouch.out.find(reading), std::string::npos) << describe(afterTouch);
  EXPECT_NE(afterTouch.out.find("Unchanged: "), std::string::npos) << describe(afterTouch);
}

// No "-shm" to read the "-wal" in place with, no temporary folder to copy it
// into: the export writes what the checkpointed rows hold, and says what is
// missing and why.
TEST_F(HeadlessExport, aWalThatCanBeReadNeitherInPlaceNorFromACopyIsLeftOutAndSaid) {
  const auto psi = library_ / "database/search/psi.sqlite";
  ASSERT_TRUE(std::filesystem::remove(psi.string() + "-shm"));
  std::filesystem::remove_all(user_.tmpDir());
  const auto result = exportNow();
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  const auto warning = result.err.find(psi.string() + " is read without its \"-wal\"");
  ASSERT_NE(warning, std::string::npos) << describe(result);
  // With why the copy failed: the temporary folder it needed is not there.
  const auto line = result.err.substr(warning, result.err.find('\n', warning) - warning);
  EXPECT_NE(line.find(user_.tmpDir().string() + ": No such file or directory"), std::string::npos) << line;
}

}  // namespace
}  // namespace lumenfolio::testing
