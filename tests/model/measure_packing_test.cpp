#include "model/measure_packing.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>
#include <vector>

namespace lumenfolio {
namespace {

using Entry = MeasurePacking::Entry;

float valueAt(const Bytes& blob, std::size_t entry) {
  const std::size_t offset = entry * MeasurePacking::kEntrySize + 1;
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | blob.at(offset + i);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(MeasurePacking, sortsEntriesByCodeWhateverTheFillOrder) {
  const Bytes expected{0x01, 0x00, 0x00, 0x80, 0x3E, 0x02, 0x00, 0x00, 0x00, 0x3F};

  std::map<std::uint8_t, float> ordered;
  ordered[2] = 0.5f;
  ordered[1] = 0.25f;
  EXPECT_EQ(MeasurePacking::pack(ordered), expected);

  std::unordered_map<std::uint8_t, float> hashed;
  hashed[2] = 0.5f;
  hashed[1] = 0.25f;
  EXPECT_EQ(MeasurePacking::pack(hashed), expected);

  const std::vector<Entry> reversed{{2, 0.5f}, {1, 0.25f}};
  EXPECT_EQ(MeasurePacking::pack(reversed), expected);
}

TEST(MeasurePacking, flagIsOneAsBinary32) {
  const std::map<std::uint8_t, float> video{{64, 1.0f}};
  EXPECT_EQ(MeasurePacking::pack(video), (Bytes{0x40, 0x00, 0x00, 0x80, 0x3F}));
}

TEST(MeasurePacking, scoreNarrowedFromDoubleRoundsToNearest) {
  const double stored = 0.7;
  const std::map<std::uint8_t, float> score{{4, static_cast<float>(stored)}};
  const Bytes blob = MeasurePacking::pack(score);
  EXPECT_EQ(blob, (Bytes{0x04, 0x33, 0x33, 0x33, 0x3F}));
  EXPECT_FLOAT_EQ(valueAt(blob, 0), 0.699999988f);
}

TEST(MeasurePacking, negativeScoreIsNeitherClampedNorScaled) {
  const std::map<std::uint8_t, float> score{{20, -0.75f}};
  const Bytes blob = MeasurePacking::pack(score);
  EXPECT_EQ(blob, (Bytes{0x14, 0x00, 0x00, 0x40, 0xBF}));
  EXPECT_EQ(valueAt(blob, 0), -0.75f);
}

TEST(MeasurePacking, emptyMapGivesEmptyBlob) {
  EXPECT_TRUE(MeasurePacking::pack(std::map<std::uint8_t, float>{}).empty());
  EXPECT_TRUE(MeasurePacking::pack(std::unordered_map<std::uint8_t, float>{}).empty());
  EXPECT_TRUE(MeasurePacking::pack(std::span<const Entry>{}).empty());
}

TEST(MeasurePacking, lengthIsFiveBytesPerEntryWithCodesAscendingAsUnsignedBytes) {
  std::unordered_map<std::uint8_t, float> values;
  for (const std::uint8_t code : {200, 1, 66, 255, 0, 128, 40}) values[code] = code / 10.0f;
  const Bytes blob = MeasurePacking::pack(values);
  ASSERT_EQ(blob.size(), values.size() * 5);
  const std::vector<std::uint8_t> codes{0, 1, 40, 66, 128, 200, 255};
  for (std::size_t i = 0; i < codes.size(); ++i) {
    EXPECT_EQ(blob[i * 5], codes[i]) << "entry " << i;
    EXPECT_EQ(valueAt(blob, i), codes[i] / 10.0f) << "entry " << i;
  }
}

TEST(MeasurePacking, extremeValuesKeepTheirBitPatterns) {
  const std::vector<Entry> entries{{1, std::numeric_limits<float>::infinity()},
                                   {2, -0.0f},
                                   {3, std::numeric_limits<float>::denorm_min()},
                                   {4, static_cast<float>(1e308)}};
  const Bytes blob = MeasurePacking::pack(entries);
  ASSERT_EQ(blob.size(), 20u);
  EXPECT_EQ(Bytes(blob.begin() + 1, blob.begin() + 5), (Bytes{0x00, 0x00, 0x80, 0x7F}));
  EXPECT_EQ(Bytes(blob.begin() + 6, blob.begin() + 10), (Bytes{0x00, 0x00, 0x00, 0x80}));
  EXPECT_EQ(Bytes(blob.begin() + 11, blob.begin() + 15), (Bytes{0x01, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(std::isinf(valueAt(blob, 3)));
}

}  // namespace
}  // namespace lumenfolio
