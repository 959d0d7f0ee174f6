#include "base/failure.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <exception>
#include <stdexcept>
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

struct NotAnException {};

// A catch-all keeps what was thrown: the failure's own text, a library's
// message, or at least the type of something that is no std::exception.
TEST(Failures, theCauseOfWhateverWasThrownIsItsTextOrItsType) {
  const auto causeOfThrowing = [](auto thrown) {
    try {
      throw thrown;
    } catch (...) {
      return Failure::causeOf(std::current_exception());
    }
  };
  EXPECT_EQ(causeOfThrowing(Failure("open", "/library/Photos.sqlite", "disk I/O error")),
            "open /library/Photos.sqlite: disk I/O error");
  EXPECT_EQ(causeOfThrowing(std::runtime_error("malformed JSON")), "malformed JSON");
  EXPECT_EQ(causeOfThrowing(42), "an exception of type int");
  EXPECT_EQ(causeOfThrowing(NotAnException{}),
            "an exception of type lumenfolio::(anonymous namespace)::NotAnException");
  EXPECT_EQ(Failure::causeOf(nullptr), "nothing was thrown");
}

}  // namespace
}  // namespace lumenfolio
