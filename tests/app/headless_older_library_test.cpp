// The export command on libraries made by older systems: the same assets
// written in an older layout export the same rows as in the current one, and
// the package is left exactly as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "headless_fixture.hpp"
#include "headless_library.hpp"
#include "platform/qt/settings_preferences.hpp"
#include "sample_library/sample_library.hpp"
#include "support/exporter_texts.hpp"

namespace lumenfolio::testing {
namespace {

using sample::SampleLibrary;

constexpr int kAssets = 240;
constexpr std::uint64_t kSeed = 7;

// One user exporting one library of its own into a shared folder of its own.
struct ExportOf {
  explicit ExportOf(SampleLibrary::Schema schema) {
    SampleLibrary::write(library, {.assets = kAssets, .seed = kSeed, .schema = schema});
  }

  CommandResult run() const {
    return user.run({"export", "--library", library.string(), "--folder", shared.string()});
  }

  std::optional<PreferenceValue> digest() const {
    return SettingsPreferences(user.preferencesFile()).value("exporter.digest");
  }

  HeadlessUser user;
  const std::filesystem::path library = user.scratch("libraries") / "Older.photoslibrary";
  const std::filesystem::path shared = user.scratch("shared");
};

void expectSameRow(const std::string& assetID, const SharedRow& older, const SharedRow& current) {
  SCOPED_TRACE(assetID);
  EXPECT_EQ(older.sharpness, current.sharpness);
  EXPECT_EQ(older.exposure, current.exposure);
  EXPECT_EQ(older.faces, current.faces);
  EXPECT_EQ(older.eyesClosed, current.eyesClosed);
  EXPECT_EQ(older.smiles, current.smiles);
  EXPECT_EQ(older.screenshot, current.screenshot);
  EXPECT_EQ(older.measures, current.measures);
  EXPECT_EQ(older.terms, current.terms);
  EXPECT_EQ(older.panel, current.panel);
}

class HeadlessOlderLibrary : public ::testing::TestWithParam<SampleLibrary::Schema> {};

TEST_P(HeadlessOlderLibrary, exportsTheRowsOfTheCurrentLayoutAndChangesNoFileOfThePackage) {
  const ExportOf current(SampleLibrary::Schema::current);
  const ExportOf older(GetParam());
  const auto before = filesOf(older.library);

  const auto currentResult = current.run();
  ASSERT_EQ(currentResult.exitCode, 0) << describe(currentResult);
  const auto olderResult = older.run();
  ASSERT_EQ(olderResult.exitCode, 0) << describe(olderResult);
  EXPECT_EQ(olderResult.err, "");

  const auto expected = readSharedFile(sharedFileIn(current.shared)).features;
  const auto exported = readSharedFile(sharedFileIn(older.shared)).features;
  ASSERT_EQ(exported.size(), expected.size());
  int screenshots = 0, withFaces = 0, sharp = 0;
  for (const auto& [assetID, row] : expected) {
    ASSERT_TRUE(exported.contains(assetID)) << assetID;
    expectSameRow(assetID, exported.at(assetID), row);
    screenshots += row.screenshot != 0;
    withFaces += row.faces > 0;
    sharp += row.sharpness > 0;
  }
  // The comparison covers each thing an older layout names differently.
  EXPECT_GT(screenshots, 0);
  EXPECT_GT(withFaces, 0);
  EXPECT_GT(sharp, 0);
  EXPECT_EQ(older.digest(), current.digest());
  EXPECT_TRUE(older.digest().has_value());

  const auto after = filesOf(older.library);
  EXPECT_EQ(after.size(), before.size());
  EXPECT_TRUE(after == before) << "the package changed";
}

INSTANTIATE_TEST_SUITE_P(Layouts, HeadlessOlderLibrary,
                         ::testing::Values(SampleLibrary::Schema::macos10_15,
                                           SampleLibrary::Schema::macos12,
                                           SampleLibrary::Schema::macos14),
                         [](const auto& info) {
                           switch (info.param) {
                             case SampleLibrary::Schema::macos10_15:
                               return "macos10_15";
                             case SampleLibrary::Schema::macos12:
                               return "macos12";
                             case SampleLibrary::Schema::macos14:
                               return "macos14";
                             case SampleLibrary::Schema::current:
                               break;
                           }
                           return "current";
                         });

TEST(HeadlessLibraryWithoutAssets, endsWithTheNoMeasuresTextAndWritesNothing) {
  ExportOf neither(SampleLibrary::Schema::current);
  // Neither an asset table nor an older one: the run finds no photo at all.
  execute(photosDatabase(neither.library), "DROP TABLE ZASSET");
  const auto before = filesOf(neither.library);

  const auto result = neither.run();
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_NE(result.err.find(texts::kNoMeasures), std::string::npos) << describe(result);
  EXPECT_EQ(result.out.find("Wrote "), std::string::npos) << describe(result);
  EXPECT_TRUE(std::filesystem::is_empty(neither.shared));
  EXPECT_TRUE(filesOf(neither.library) == before);
}

}  // namespace
}  // namespace lumenfolio::testing
