#include "model/asset_uuid.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumenfolio {
namespace {

constexpr const char* kUpper = "5E2D8C71-94AB-4C3D-9E8F-0123456789AB";
constexpr const char* kLower = "5e2d8c71-94ab-4c3d-9e8f-0123456789ab";

TEST(AssetUuid, givesBackEveryTextAsItWasGiven) {
  for (const auto& text : std::vector<std::string>{
           kUpper, kLower, "00000000-0000-4000-8000-000000000001",
           "5E2D8C71-94ab-4C3D-9E8F-0123456789AB", "5E2D8C71-94AB-4C3D-9E8F-0123456789A",
           "5E2D8C71-94AB-4C3D-9E8F-0123456789ABC", "5E2D8C71_94AB-4C3D-9E8F-0123456789AB",
           "5E2D8C71-94AB-4C3D-9E8F-0123456789AG", "SAME", "", "ÄÖÜ-ünïcode",
           std::string("NUL\0tail", 8)}) {
    EXPECT_EQ(AssetUuid(text).text(), text);
  }
}

TEST(AssetUuid, equalsExactlyWhenTheTextsAreEqual) {
  const std::vector<std::string> texts = {kUpper,
                                          kLower,
                                          "5E2D8C71-94ab-4C3D-9E8F-0123456789AB",
                                          "00000000-0000-4000-8000-000000000001",
                                          "00000000-0000-4000-8000-000000000002",
                                          "5E2D8C71-94AB-4C3D-9E8F-0123456789A",
                                          "SAME"};
  const AssetUuid::Hash hash;
  for (const auto& one : texts) {
    for (const auto& other : texts) {
      EXPECT_EQ(AssetUuid(one) == AssetUuid(other), one == other) << one << " / " << other;
    }
    EXPECT_EQ(hash(AssetUuid(one)), hash(AssetUuid(std::string(one))));
  }
}

TEST(AssetUuid, copiesAndMovesKeepTheText) {
  AssetUuid odd("an odd text");
  AssetUuid usual(kUpper);
  AssetUuid copy = odd;
  copy = usual;
  EXPECT_EQ(copy.text(), kUpper);
  copy = odd;
  EXPECT_EQ(copy.text(), "an odd text");
  const AssetUuid moved = std::move(odd);
  EXPECT_EQ(moved.text(), "an odd text");
  EXPECT_EQ(copy, moved);
}

TEST(AssetUuid, aUuidOfTheUsualFormHasAnUpperCaseOfItsOwn) {
  EXPECT_EQ(AssetUuid(kLower).inUpperCase(), AssetUuid(kUpper));
  EXPECT_EQ(AssetUuid(kUpper).inUpperCase(), AssetUuid(kUpper));
  EXPECT_EQ(AssetUuid("5E2D8C71-94ab-4C3D-9E8F-0123456789AB").inUpperCase(), std::nullopt);
  EXPECT_EQ(AssetUuid("SAME").inUpperCase(), std::nullopt);
}

TEST(AssetUuid, keysATableLookedUpByText) {
  ByAssetUuid<int> table;
  table[kUpper] = 1;
  table["SAME"] = 2;
  table[std::string(kLower)] = 3;
  EXPECT_EQ(table.size(), 3u);
  EXPECT_EQ(table.at(std::string(kUpper)), 1);
  EXPECT_EQ(table.at("SAME"), 2);
  EXPECT_EQ(table.at(kLower), 3);
  EXPECT_FALSE(table.contains("5E2D8C71-94ab-4C3D-9E8F-0123456789AB"));
}

}  // namespace
}  // namespace lumenfolio
