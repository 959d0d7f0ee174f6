#include "base/hex.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace lumenfolio {
namespace {

TEST(Hex, writesTwoDigitsPerByteHighHalfFirst) {
  const std::array<std::uint8_t, 4> bytes{0x00, 0x0f, 0xa5, 0xff};
  EXPECT_EQ(Hex::lower(bytes), "000fa5ff");
  EXPECT_EQ(Hex::upper(bytes), "000FA5FF");
  EXPECT_EQ(Hex::lower({}), "");
}

TEST(Hex, appendsOneByteAfterTheText) {
  std::string text = "%";
  Hex::appendUpper(text, 0x3f);
  EXPECT_EQ(text, "%3F");
}

}  // namespace
}  // namespace lumenfolio
