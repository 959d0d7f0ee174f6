#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "support/exporter_harness.hpp"
#include "support/exporter_texts.hpp"

namespace {

using lumenfolio::AssetFeatures;
using lumenfolio::AssetMetadata;
using lumenfolio::Bytes;
using lumenfolio::Exporter;
using lumenfolio::SyncFile;
using lumenfolio::testing::ExporterHarness;
using lumenfolio::testing::sharedFileRows;
using lumenfolio::testing::StateRecorder;
using lumenfolio::testing::texts::writing;

// Keeps the library check satisfied, so each test only looks at its own asset.
const std::string kAnchor = "00000000-0000-4000-8000-00000000A0A0";
const std::string kAsset = "5E2D8C71-94AB-4C3D-9E8F-0123456789AB";
const std::string kOther = "7A6B5C4D-3E2F-4A1B-8C9D-0E1F2A3B4C5D";

AssetMetadata panelWithCamera(const std::string& camera) {
  AssetMetadata panel;
  panel.camera = camera;
  return panel;
}

class ExportMatching : public ::testing::Test {
 protected:
  void SetUp() override {
    harness.chooseSharedFolder();
    harness.store.featureTable[kAnchor] = AssetFeatures{.sharpness = 1};
    harness.addAsset(kAnchor, "cloud-anchor");
    exporter = harness.create(false);
  }

  // The rows handed to the writer, without the anchor's.
  std::vector<SyncFile::Features> exportedRows() {
    harness.lastPayload.reset();
    harness.exportNow(*exporter);
    std::vector<SyncFile::Features> rows;
    if (!harness.lastPayload) return rows;
    for (const auto& row : harness.lastPayload->features) {
      if (row.assetID != "cloud-anchor") rows.push_back(row);
    }
    return rows;
  }

  ExporterHarness harness;
  std::shared_ptr<Exporter> exporter;
};

TEST_F(ExportMatching, anAssetKnownOnlyToThePanelsIsExportedWithZeros) {
  harness.store.panelTable[kAsset] = panelWithCamera("X100V");
  harness.addAsset(kAsset, "cloud-asset");

  const auto rows = exportedRows();
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].assetID, "cloud-asset");
  EXPECT_EQ(rows[0].sharpness, 0);
  EXPECT_EQ(rows[0].exposure, 0);
  EXPECT_EQ(rows[0].faces, 0);
  EXPECT_EQ(rows[0].eyesClosed, 0);
  EXPECT_EQ(rows[0].smiles, 0);
  EXPECT_FALSE(rows[0].isScreenshot);
  EXPECT_TRUE(rows[0].measures.empty());
  EXPECT_EQ(rows[0].terms, "");
  EXPECT_EQ(rows[0].panel, panelWithCamera("X100V").json());
  EXPECT_NE(rows[0].panel, "");
}

TEST_F(ExportMatching, aLowerCaseIdentifierFindsItsPanelButNotTheOtherTables) {
  std::string lower = kAsset;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  harness.store.panelTable[kAsset] = panelWithCamera("X100V");
  harness.store.featureTable[kAsset] = AssetFeatures{.faces = 4};
  harness.store.termTable[kAsset] = "harbour";
  harness.addAsset(lower, "cloud-asset");

  const auto rows = exportedRows();
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].panel, panelWithCamera("X100V").json());
  EXPECT_EQ(rows[0].faces, 0);
  EXPECT_EQ(rows[0].terms, "");
}

TEST_F(ExportMatching, thePanelLookupUpperCasesBeyondASCIILikeThePanelTable) {
  // Odd library text: the identifier's UUID holds "é" and "ß", which the panel
  // table's keys carry as "É" and "SS".
  const std::string odd = "5e2d8c71-94ab-4c3d-9e8f-0123456789\xC3\xA9\xC3\x9F";
  harness.store.panelTable["5E2D8C71-94AB-4C3D-9E8F-0123456789\xC3\x89SS"] =
      panelWithCamera("X100V");
  harness.addAsset(odd, "cloud-asset");

  const auto rows = exportedRows();
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].panel, panelWithCamera("X100V").json());
}

TEST_F(ExportMatching, everyTableIsKeyedByTheFirstThirtySixCharacters) {
  harness.store.featureTable[kAsset] = AssetFeatures{.exposure = 0.25, .smiles = 1};
  harness.store.measureTable[kAsset] = {9, 8, 7};
  harness.store.termTable[kAsset] = "harbour boats";
  harness.store.panelTable[kAsset] = panelWithCamera("GR III");
  harness.addAsset(kAsset, "cloud-asset");

  const auto rows = exportedRows();
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].exposure, 0.25);
  EXPECT_EQ(rows[0].smiles, 1);
  EXPECT_EQ(rows[0].measures, (Bytes{9, 8, 7}));
  EXPECT_EQ(rows[0].terms, "harbour boats");
  EXPECT_EQ(rows[0].panel, panelWithCamera("GR III").json());
}

TEST_F(ExportMatching, aShortIdentifierIsItsOwnKey) {
  harness.store.termTable["short-id"] = "kite";
  harness.photos.assets.push_back("short-id");
  harness.photos.cloudIDs["short-id"] = "cloud-short";

  const auto rows = exportedRows();
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].terms, "kite");
}

TEST_F(ExportMatching, theKeyCountsCharactersAsAPersonReadsThem) {
  // Odd library text: the 36th character is an "e" with a combining acute
  // accent, two code points that stay together in the key.
  const std::string odd = "5E2D8C71-94AB-4C3D-9E8F-0123456789Ae\xCC\x81";
  harness.store.featureTable[odd] = AssetFeatures{.faces = 3};
  harness.addAsset(odd, "cloud-asset");

  const auto rows = exportedRows();
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].faces, 3);
}

TEST_F(ExportMatching, aKeyLongerThanThirtySixCharactersIsCutAfterTheThirtySixth) {
  const std::string accented = "5E2D8C71-94AB-4C3D-9E8F-0123456789\xC3\x89\xC3\x89";
  harness.store.featureTable[accented] = AssetFeatures{.faces = 2};
  harness.photos.assets.push_back(accented + "\xC3\x89/L0/001");
  harness.photos.cloudIDs[accented + "\xC3\x89/L0/001"] = "cloud-asset";

  const auto rows = exportedRows();
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].faces, 2);
}

TEST_F(ExportMatching, anAssetWithNothingInAnySourceIsDroppedAndNotCounted) {
  harness.addAsset(kAsset, "cloud-asset");
  EXPECT_TRUE(exportedRows().empty());
  EXPECT_EQ(exporter->lastCount(), 1);
}

TEST_F(ExportMatching, anAssetWithOnlyEyesClosedAndSmilesIsDropped) {
  harness.store.featureTable[kAsset] = AssetFeatures{.eyesClosed = 2, .smiles = 3};
  harness.addAsset(kAsset, "cloud-asset");
  EXPECT_TRUE(exportedRows().empty());
}

TEST_F(ExportMatching, negativeSharpnessAndExposureCountAsNothing) {
  harness.store.featureTable[kAsset] = AssetFeatures{.sharpness = -1, .exposure = -0.5};
  harness.addAsset(kAsset, "cloud-asset");
  EXPECT_TRUE(exportedRows().empty());
}

TEST_F(ExportMatching, anyOneSignalKeepsTheAsset) {
  const std::vector<AssetFeatures> signals{
      {.isScreenshot = true},
      {.faces = 1},
      {.sharpness = 0.01},
      {.exposure = 0.01},
  };
  for (const auto& features : signals) {
    harness.store.featureTable[kAsset] = features;
    harness.addAsset(kAsset, "cloud-asset");
    EXPECT_EQ(exportedRows().size(), 1U);
    harness.photos.assets.pop_back();
  }
}

TEST_F(ExportMatching, measuresOrTermsAloneKeepTheAsset) {
  harness.store.measureTable[kAsset] = {1};
  harness.store.termTable[kOther] = "fern";
  harness.addAsset(kAsset, "cloud-asset");
  harness.addAsset(kOther, "cloud-other");
  EXPECT_EQ(exportedRows().size(), 2U);
}

TEST_F(ExportMatching, anAssetWithoutACloudIdentifierIsDroppedWhateverItHas) {
  harness.store.featureTable[kAsset] = AssetFeatures{.sharpness = 0.9, .faces = 5};
  harness.store.termTable[kAsset] = "parade";
  harness.addAsset(kAsset);

  EXPECT_TRUE(exportedRows().empty());
  EXPECT_EQ(exporter->lastCount(), 1);
}

TEST_F(ExportMatching, twoAssetsSharingACloudIdentifierBothCountAndTheLaterIsKept) {
  harness.store.termTable[kAsset] = "first";
  harness.store.termTable[kOther] = "second";
  harness.addAsset(kAsset, "cloud-shared");
  harness.addAsset(kOther, "cloud-shared");

  EXPECT_EQ(exportedRows().size(), 2U);
  EXPECT_EQ(exporter->lastCount(), 3);
  const auto fileRows = sharedFileRows(harness.lastDestination);
  ASSERT_EQ(fileRows.size(), 2U);
  EXPECT_EQ(fileRows[1].assetID, "cloud-shared");
  EXPECT_EQ(fileRows[1].terms, "second");
}

TEST_F(ExportMatching, rowsFollowThePlatformsOrder) {
  harness.store.termTable[kAsset] = "a";
  harness.store.termTable[kOther] = "b";
  harness.addAsset(kOther, "cloud-other");
  harness.addAsset(kAsset, "cloud-asset");

  const auto rows = exportedRows();
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows[0].assetID, "cloud-other");
  EXPECT_EQ(rows[1].assetID, "cloud-asset");
}

TEST_F(ExportMatching, noSurvivorsStillWriteAFileWithoutRows) {
  harness.photos.assets.clear();
  harness.addAsset(kAsset, "cloud-asset");
  StateRecorder recorder(*exporter);
  harness.exportNow(*exporter);

  const auto& statuses = recorder.statuses;
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), writing(0)), statuses.end());
  EXPECT_EQ(harness.writes, 1);
  EXPECT_TRUE(sharedFileRows(harness.sharedFile()).empty());
  EXPECT_EQ(exporter->lastCount(), 0);
  EXPECT_FALSE(exporter->status().has_value());
}

TEST_F(ExportMatching, anEmptyExportIsSkippedWhenItsFileIsAlreadyThere) {
  harness.photos.assets.clear();
  harness.exportNow(*exporter);
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 1);
}

}  // namespace
