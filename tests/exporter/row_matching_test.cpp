#include "exporter/row_matching.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace lumenfolio {
namespace {

constexpr const char* kUUID = "5E2D8C71-94AB-4C3D-9E8F-0123456789AB";

std::string uuidOf(int n) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-0000-4000-8000-%012d", n, n);
  return text;
}

RowMatching::Tables tablesFor(const std::string& uuid, int n) {
  RowMatching::Tables tables;
  tables.features[uuid] = AssetFeatures{.sharpness = n / 10.0};
  tables.measures[uuid] = Bytes{static_cast<std::uint8_t>(n % 200), 1, 2};
  tables.terms[uuid] = "term " + std::to_string(n);
  tables.panels[uuid] = R"({"words":["w)" + std::to_string(n) + R"("]})";
  return tables;
}

TEST(RowMatching, everyPhotoOfOneUUIDGetsItsValues) {
  const std::string uuid = kUUID;
  const std::vector<std::string> photos = {uuid + "/L0/001", uuid + "/L0/002", uuid + "/L0/003"};
  std::vector<std::optional<std::string>> cloudIDs = {"c1", "c2", "c3"};
  auto tables = tablesFor(uuid, 7);
  const auto rows = RowMatching::rows(photos, cloudIDs, tables);

  ASSERT_EQ(rows.size(), 3u);
  for (std::size_t at = 0; at < rows.size(); ++at) {
    EXPECT_EQ(rows[at].assetID, "c" + std::to_string(at + 1));
    EXPECT_DOUBLE_EQ(rows[at].sharpness, 0.7);
    EXPECT_EQ(rows[at].measures, (Bytes{7, 1, 2}));
    EXPECT_EQ(rows[at].terms, "term 7");
    EXPECT_EQ(rows[at].panel, R"({"words":["w7"]})");
  }
}

TEST(RowMatching, aPhotoWithoutACloudIdentifierLeavesTheValuesToTheNext) {
  const std::string uuid = kUUID;
  const std::vector<std::string> photos = {uuid + "/L0/001", uuid + "/L0/002"};
  auto tables = tablesFor(uuid, 3);
  std::vector<std::optional<std::string>> cloudIDs = {std::nullopt, "c2"};
  const auto rows = RowMatching::rows(photos, cloudIDs, tables);

  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].assetID, "c2");
  EXPECT_EQ(rows[0].terms, "term 3");
}

TEST(RowMatching, photosPastTheCloudIdentifiersHaveNone) {
  const std::string uuid = kUUID;
  const std::vector<std::string> photos = {uuid + "/L0/001", uuid + "/L0/002"};
  auto tables = tablesFor(uuid, 3);
  std::vector<std::optional<std::string>> cloudIDs = {"c1"};
  const auto rows = RowMatching::rows(photos, cloudIDs, tables);

  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].assetID, "c1");
}

// A panel is found by the UUID upper-cased: photos whose UUIDs differ only in
// case each get it, whichever comes first.
TEST(RowMatching, photosWhoseUuidsUpperCaseAlikeEachGetThePanel) {
  const std::string upper = kUUID;
  const std::string lower = "5e2d8c71-94ab-4c3d-9e8f-0123456789ab";
  for (const auto& uuids : {std::vector{upper, lower}, std::vector{lower, upper}}) {
    const std::vector<std::string> photos = {uuids[0] + "/L0/001", uuids[1] + "/L0/001"};
    RowMatching::Tables tables;
    tables.panels[upper] = R"({"words":["w"]})";
    tables.terms[lower] = "lower only";
    std::vector<std::optional<std::string>> cloudIDs = {"c1", "c2"};
    const auto rows = RowMatching::rows(photos, cloudIDs, tables);

    ASSERT_EQ(rows.size(), 2u);
    for (std::size_t at = 0; at < rows.size(); ++at) {
      EXPECT_EQ(rows[at].panel, R"({"words":["w"]})") << uuids[at];
      EXPECT_EQ(rows[at].terms, uuids[at] == lower ? "lower only" : "") << uuids[at];
    }
  }
}

TEST(RowMatching, aPhotoAloneWithItsUpperCasedUuidGetsThePanel) {
  const std::string lower = "5e2d8c71-94ab-4c3d-9e8f-0123456789ab";
  const std::vector<std::string> photos = {lower + "/L0/001", lower + "/L0/002"};
  RowMatching::Tables tables;
  tables.panels[kUUID] = R"({"words":["w"]})";
  std::vector<std::optional<std::string>> cloudIDs = {"c1", "c2"};
  const auto rows = RowMatching::rows(photos, cloudIDs, tables);

  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].panel, R"({"words":["w"]})");
  EXPECT_EQ(rows[1].panel, R"({"words":["w"]})");
  // Taken by the rows, not copied: the table keeps nothing of it.
  EXPECT_EQ(tables.panels.at(kUUID), "");
}

// Photos are looked up in two halves at once; the rows still follow the
// listing, each with its own values.
TEST(RowMatching, manyPhotosKeepTheirOrderAndTheirOwnValues) {
  constexpr int kPhotos = 1001;
  std::vector<std::string> photos;
  std::vector<std::optional<std::string>> cloudIDs;
  RowMatching::Tables tables;
  for (int n = 0; n < kPhotos; ++n) {
    const auto uuid = uuidOf(n);
    photos.push_back(uuid + "/L0/001");
    cloudIDs.push_back(n % 3 == 0 ? std::nullopt
                                  : std::optional<std::string>("cloud-" + std::to_string(n)));
    auto one = tablesFor(uuid, n);
    tables.features.merge(one.features);
    tables.measures.merge(one.measures);
    tables.terms.merge(one.terms);
    tables.panels.merge(one.panels);
  }
  const auto rows = RowMatching::rows(photos, cloudIDs, tables);

  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kPhotos - (kPhotos + 2) / 3));
  std::size_t at = 0;
  for (int n = 0; n < kPhotos; ++n) {
    if (n % 3 == 0) continue;
    ASSERT_LT(at, rows.size());
    EXPECT_EQ(rows[at].assetID, "cloud-" + std::to_string(n));
    EXPECT_EQ(rows[at].terms, "term " + std::to_string(n));
    EXPECT_EQ(rows[at].measures[0], n % 200);
    ++at;
  }
}

// Each UUID stands three times, far apart in the listing, and a third of the
// UUIDs have nothing in the tables: every photo of a UUID gets what its first
// photo got, and the photos of an empty UUID get no row.
TEST(RowMatching, photosOfOneUuidFarApartInALargeListingShareTheirValues) {
  constexpr int kUuids = 2000;
  std::vector<std::string> photos;
  std::vector<std::optional<std::string>> cloudIDs;
  RowMatching::Tables tables;
  for (int copy = 0; copy < 3; ++copy) {
    for (int n = 0; n < kUuids; ++n) {
      photos.push_back(uuidOf(n) + "/L0/00" + std::to_string(copy));
      cloudIDs.push_back("cloud-" + std::to_string(copy) + "-" + std::to_string(n));
    }
  }
  for (int n = 0; n < kUuids; n += 3) {
    for (const int filled : {n + 1, n + 2}) {
      auto one = tablesFor(uuidOf(filled), filled);
      tables.features.merge(one.features);
      tables.measures.merge(one.measures);
      tables.terms.merge(one.terms);
      tables.panels.merge(one.panels);
    }
  }
  const auto rows = RowMatching::rows(photos, cloudIDs, tables);

  std::size_t at = 0;
  for (int copy = 0; copy < 3; ++copy) {
    for (int n = 0; n < kUuids; ++n) {
      if (n % 3 == 0) continue;
      ASSERT_LT(at, rows.size());
      EXPECT_EQ(rows[at].assetID, "cloud-" + std::to_string(copy) + "-" + std::to_string(n));
      EXPECT_EQ(rows[at].terms, "term " + std::to_string(n));
      EXPECT_EQ(rows[at].panel, R"({"words":["w)" + std::to_string(n) + R"("]})");
      ++at;
    }
  }
  EXPECT_EQ(at, rows.size());
}

}  // namespace
}  // namespace lumenfolio
