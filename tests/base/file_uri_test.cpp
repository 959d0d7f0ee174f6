#include "base/file_uri.hpp"

#include <gtest/gtest.h>

namespace lumenfolio {
namespace {

TEST(FileUri, percentEncodesEverythingButUnreservedAndSlash) {
  EXPECT_EQ(FileUri::of("/tmp/a b#c?d%e&f=g"), "file:///tmp/a%20b%23c%3Fd%25e%26f%3Dg");
  EXPECT_EQ(FileUri::of("/Bilder/\xC3\xA9t\xC3\xA9 ~x_y-z.1"),
            "file:///Bilder/%C3%A9t%C3%A9%20~x_y-z.1");
}

TEST(FileUri, relativePathBecomesAbsolute) {
  const auto uri = FileUri::of("Photos.sqlite");
  EXPECT_EQ(uri.rfind("file:///", 0), 0u);
  EXPECT_TRUE(uri.ends_with("/Photos.sqlite"));
}

}  // namespace
}  // namespace lumenfolio
