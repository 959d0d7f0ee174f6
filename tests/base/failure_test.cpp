#include "base/failure.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace lumenfolio {
namespace {

TEST(Failures, sayWhatFailedOnWhichPathAndWhy) {
  const auto failure = Failure::fromErrno("rename into place", "/shared/x.pdsync", ENOSPC);
  EXPECT_EQ(failure.operation(), "rename into place");
  EXPECT_EQ(failure.path(), "/shared/x.pdsync");
  EXPECT_EQ(failure.cause(), "No space left on device");
  EXPECT_EQ(std::string(failure.what()),
            "rename into place /shared/x.pdsync: No space left on device");
}

TEST(Failures, withoutAPathNameOnlyTheOperation) {
  const Failure failure("hash the texts", {}, "out of memory");
  EXPECT_EQ(std::string(failure.what()), "hash the texts: out of memory");
}

}  // namespace
}  // namespace lumenfolio
