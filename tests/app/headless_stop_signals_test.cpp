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
    std::promise<int> stopped;
    const StopSignals signals([&stopped](int signal) { stopped.set_value(signal); });
    ASSERT_EQ(::kill(::getpid(), number), 0);
    // The process is still here: the signal reached the action, not the default handler.
    auto told = stopped.get_future();
    ASSERT_EQ(told.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(told.get(), number);
  }
}

TEST(StopSignals, leavesTheSignalsUnblockedAfterwards) {
  {
    const StopSignals signals([](int) {});
  }
  sigset_t blocked;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &blocked), 0);
  EXPECT_FALSE(sigismember(&blocked, SIGTERM));
  EXPECT_FALSE(sigismember(&blocked, SIGINT));
}

}  // namespace
}  // namespace lumenfolio
