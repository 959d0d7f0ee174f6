#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "app/stop_signals.hpp"

namespace lumenfolio {
namespace {

TEST(StopSignals, turnsTermAndInterruptIntoCallsOfTheAction) {
  for (const int number : {SIGTERM, SIGINT}) {
    std::promise<void> stopped;
    const StopSignals signals([&stopped] { stopped.set_value(); });
    ASSERT_EQ(::kill(::getpid(), number), 0);
    // The process is still here: the signal reached the action, not the default handler.
    EXPECT_EQ(stopped.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  }
}

TEST(StopSignals, leavesTheSignalsUnblockedAfterwards) {
  {
    const StopSignals signals([] {});
  }
  sigset_t blocked;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &blocked), 0);
  EXPECT_FALSE(sigismember(&blocked, SIGTERM));
  EXPECT_FALSE(sigismember(&blocked, SIGINT));
}

}  // namespace
}  // namespace lumenfolio
