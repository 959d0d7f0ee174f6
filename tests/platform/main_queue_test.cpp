#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/delayed_jobs.hpp"
#include "platform/plain_main_queue.hpp"
#include "platform/qt_main_queue.hpp"

namespace lumenfolio {
namespace {

using namespace std::chrono_literals;

// ---- DelayedJobs, on made-up instants: no waiting at all.

class DelayedJobsTest : public ::testing::Test {
 protected:
  static BoottimeClock::time_point at(int seconds) {
    return BoottimeClock::time_point(std::chrono::seconds(seconds));
  }
  MainQueue::Token add(int seconds, std::string name) {
    return jobs.add(at(seconds), [this, name] { ran.push_back(name); });
  }
  void runDue(int seconds) {
    while (auto job = jobs.takeDue(at(seconds))) (*job)();
  }

  DelayedJobs jobs;
  std::vector<std::string> ran;
};

TEST_F(DelayedJobsTest, runsJobsByDeadlineAndEqualDeadlinesInTheOrderAdded) {
  add(30, "thirty");
  add(10, "ten-a");
  add(20, "twenty");
  add(10, "ten-b");
  runDue(100);
  EXPECT_EQ(ran, (std::vector<std::string>{"ten-a", "ten-b", "twenty", "thirty"}));
  EXPECT_TRUE(jobs.empty());
}

TEST_F(DelayedJobsTest, keepsJobsWhoseDeadlineHasNotComeAndReportsTheNextOne) {
  add(5, "five");
  add(50, "fifty");
  runDue(10);
  EXPECT_EQ(ran, std::vector<std::string>{"five"});
  EXPECT_EQ(jobs.nextDeadline(), at(50));
  runDue(49);
  EXPECT_EQ(ran.size(), 1u);
  runDue(50);
  EXPECT_EQ(ran, (std::vector<std::string>{"five", "fifty"}));
  EXPECT_EQ(jobs.nextDeadline(), std::nullopt);
}

TEST_F(DelayedJobsTest, cancelDropsAWaitingJobAndIgnoresRunOrUnknownTokens) {
  const auto first = add(1, "first");
  const auto second = add(2, "second");
  EXPECT_TRUE(jobs.cancel(second));
  EXPECT_FALSE(jobs.cancel(second));
  runDue(10);
  EXPECT_FALSE(jobs.cancel(first));
  EXPECT_FALSE(jobs.cancel(12345));
  EXPECT_EQ(ran, std::vector<std::string>{"first"});
}

TEST_F(DelayedJobsTest, aDueJobCanCancelAnotherDueJob) {
  MainQueue::Token victim = 0;
  jobs.add(at(1), [&] {
    ran.push_back("canceller");
    jobs.cancel(victim);
  });
  victim = add(1, "victim");
  runDue(5);
  EXPECT_EQ(ran, std::vector<std::string>{"canceller"});
}

// ---- PlainMainQueue

TEST(PlainMainQueue, runsPostedJobsInOrderOnTheThreadThatRuns) {
  PlainMainQueue queue;
  std::vector<int> ran;
  std::vector<std::thread::id> threads;
  for (int job = 0; job < 5; ++job) {
    queue.post([&, job] {
      ran.push_back(job);
      threads.push_back(std::this_thread::get_id());
    });
  }
  queue.post([&] { queue.quit(); });
  queue.run();
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
  for (const auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(PlainMainQueue, runsDelayedJobsByDeadline) {
  PlainMainQueue queue;
  std::vector<std::string> ran;
  queue.postAfter(20ms, [&] { ran.push_back("twenty"); });
  queue.postAfter(0ms, [&] { ran.push_back("zero"); });
  queue.postAfter(5ms, [&] { ran.push_back("five"); });
  queue.postAfter(0ms, [&] { ran.push_back("zero again"); });
  queue.postAfter(30ms, [&] { queue.quit(); });
  queue.run();
  EXPECT_EQ(ran, (std::vector<std::string>{"zero", "zero again", "five", "twenty"}));
}

TEST(PlainMainQueue, aDelayedJobWaitsAtLeastItsDelay) {
  PlainMainQueue queue;
  const auto start = BoottimeClock::now();
  BoottimeClock::time_point ranAt;
  queue.postAfter(15ms, [&] {
    ranAt = BoottimeClock::now();
    queue.quit();
  });
  queue.run();
  EXPECT_GE(ranAt - start, 15ms);
}

TEST(PlainMainQueue, cancelledJobsDoNotRun) {
  PlainMainQueue queue;
  bool cancelledRan = false;
  bool laterCancelledRan = false;
  const auto token = queue.postAfter(0ms, [&] { cancelledRan = true; });
  queue.cancel(token);
  MainQueue::Token later = 0;
  queue.postAfter(1ms, [&] { queue.cancel(later); });
  later = queue.postAfter(1ms, [&] { laterCancelledRan = true; });
  queue.postAfter(10ms, [&] { queue.quit(); });
  queue.cancel(987654);  // unknown tokens are ignored
  queue.run();
  EXPECT_FALSE(cancelledRan);
  EXPECT_FALSE(laterCancelledRan);
}

TEST(PlainMainQueue, runsJobsPostedFromOtherThreadsInTheirOrder) {
  PlainMainQueue queue;
  std::vector<int> ran;
  std::thread poster([&] {
    for (int job = 0; job < 1000; ++job) queue.post([&ran, job] { ran.push_back(job); });
    queue.post([&] { queue.quit(); });
  });
  queue.run();
  poster.join();
  ASSERT_EQ(ran.size(), 1000u);
  for (int job = 0; job < 1000; ++job) EXPECT_EQ(ran[job], job);
}

// The loop waits on a timer an hour away; only the other thread can end the wait.
TEST(PlainMainQueue, wakesFromALongWaitWhenAnotherThreadPosts) {
  PlainMainQueue queue;
  bool farJobRan = false;
  bool postedRan = false;
  queue.postAfter(1h, [&] { farJobRan = true; });
  std::thread other;
  queue.post([&] {
    other = std::thread([&] {
      queue.post([&] {
        postedRan = true;
        queue.quit();
      });
    });
  });
  queue.run();
  other.join();
  EXPECT_TRUE(postedRan);
  EXPECT_FALSE(farJobRan);
}

TEST(PlainMainQueue, wakesFromALongWaitWhenAnotherThreadQuits) {
  PlainMainQueue queue;
  bool farJobRan = false;
  queue.postAfter(1h, [&] { farJobRan = true; });
  std::thread other;
  queue.post([&] { other = std::thread([&] { queue.quit(); }); });
  queue.run();
  other.join();
  EXPECT_FALSE(farJobRan);
}

TEST(PlainMainQueue, quitBeforeRunReturnsAtOnceAndKeepsTheJobsForTheNextRun) {
  PlainMainQueue queue;
  int ran = 0;
  queue.post([&] { ++ran; });
  queue.quit();
  queue.run();
  EXPECT_EQ(ran, 0);
  queue.post([&] { queue.quit(); });
  queue.run();
  EXPECT_EQ(ran, 1);
}

// ---- QtMainQueue

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "main_queue_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

class QtMainQueueTest : public ::testing::Test {
 protected:
  // Runs the event loop until `quit` is called, or fails after a generous bound.
  void runUntilQuit() {
    QTimer guard;
    guard.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] {
      timedOut = true;
      loop.quit();
    });
    guard.start(10000);
    loop.exec();
    ASSERT_FALSE(timedOut);
  }
  void quit() { loop.quit(); }

  QCoreApplication& app = application();  // before the loop, which needs it
  QEventLoop loop;
};

TEST_F(QtMainQueueTest, runsJobsPostedFromAnotherThreadOnTheMainThreadInOrder) {
  QtMainQueue queue;
  std::vector<int> ran;
  bool allOnMainThread = true;
  const auto mainThread = std::this_thread::get_id();
  std::thread poster([&] {
    for (int job = 0; job < 200; ++job) {
      queue.post([&, job] {
        ran.push_back(job);
        allOnMainThread = allOnMainThread && std::this_thread::get_id() == mainThread;
      });
    }
    queue.post([&] { quit(); });
  });
  runUntilQuit();
  poster.join();
  ASSERT_EQ(ran.size(), 200u);
  for (int job = 0; job < 200; ++job) EXPECT_EQ(ran[job], job);
  EXPECT_TRUE(allOnMainThread);
}

TEST_F(QtMainQueueTest, runsDelayedJobsByDeadlineAndSkipsCancelledOnes) {
  QtMainQueue queue;
  std::vector<std::string> ran;
  queue.postAfter(20ms, [&] { ran.push_back("twenty"); });
  const auto cancelled = queue.postAfter(5ms, [&] { ran.push_back("cancelled"); });
  queue.postAfter(0ms, [&] { ran.push_back("zero"); });
  queue.postAfter(10ms, [&] { ran.push_back("ten"); });
  queue.postAfter(30ms, [&] { quit(); });
  queue.cancel(cancelled);
  queue.cancel(cancelled);
  runUntilQuit();
  EXPECT_EQ(ran, (std::vector<std::string>{"zero", "ten", "twenty"}));
}

TEST_F(QtMainQueueTest, aDelayedJobWaitsAtLeastItsDelay) {
  QtMainQueue queue;
  const auto start = BoottimeClock::now();
  BoottimeClock::time_point ranAt;
  queue.postAfter(15ms, [&] {
    ranAt = BoottimeClock::now();
    quit();
  });
  runUntilQuit();
  EXPECT_GE(ranAt - start, 15ms);
}

TEST_F(QtMainQueueTest, aDelayedJobCanScheduleAndCancelOthers) {
  QtMainQueue queue;
  std::vector<std::string> ran;
  MainQueue::Token victim = 0;
  queue.postAfter(0ms, [&] {
    ran.push_back("first");
    queue.cancel(victim);
    queue.postAfter(1ms, [&] {
      ran.push_back("scheduled by first");
      quit();
    });
  });
  victim = queue.postAfter(0ms, [&] { ran.push_back("victim"); });
  runUntilQuit();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "scheduled by first"}));
}

TEST_F(QtMainQueueTest, dropsJobsStillQueuedWhenItGoesAway) {
  bool ran = false;
  {
    QtMainQueue queue;
    queue.post([&] { ran = true; });
  }
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace lumenfolio
