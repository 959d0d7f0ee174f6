#include "base/unique_fd.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

namespace lumenfolio {
namespace {

bool isOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, closesWhatItOwnsWhenItGoesAway) {
  int raw = -1;
  {
    const UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd);
    raw = fd.get();
    EXPECT_TRUE(isOpen(raw));
  }
  EXPECT_FALSE(isOpen(raw));
}

TEST(UniqueFd, aMoveHandsOverTheDescriptorOnce) {
  UniqueFd first(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int raw = first.get();
  UniqueFd second(std::move(first));
  EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): the point of the test
  EXPECT_EQ(second.get(), raw);
  second = UniqueFd();
  EXPECT_FALSE(isOpen(raw));
}

TEST(UniqueFd, releaseGivesUpWithoutClosing) {
  UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int raw = fd.release();
  EXPECT_FALSE(fd);
  EXPECT_TRUE(isOpen(raw));
  ::close(raw);
}

TEST(UniqueFd, aNegativeValueOwnsNothing) {
  const UniqueFd fd(-1);
  EXPECT_FALSE(fd);
}

}  // namespace
}  // namespace lumenfolio
