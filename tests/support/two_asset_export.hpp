// Where most controller tests start: a remembered shared folder and a library
// of two assets, the first with features, the second with measures.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "support/exporter_harness.hpp"

namespace lumenfolio::testing {

inline const std::string kFirst = "11111111-AAAA-4BBB-8CCC-000000000001";
inline const std::string kSecond = "22222222-AAAA-4BBB-8CCC-000000000002";

class TwoAssetExport : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = harness.chooseSharedFolder();
    harness.store.featureTable[kFirst] = AssetFeatures{.sharpness = 0.75, .faces = 2};
    harness.store.measureTable[kSecond] = {1, 2, 3, 4, 5};
    harness.addAsset(kFirst, "cloud-first");
    harness.addAsset(kSecond, "cloud-second");
  }

  std::optional<PreferenceValue> stored(std::string_view key) const {
    return harness.preferences.value(std::string(key));
  }

  ExporterHarness harness;
  std::filesystem::path folder;
};

}  // namespace lumenfolio::testing
