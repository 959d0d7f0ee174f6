#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/delayed_jobs.hpp"
#include "platform/linux/plain_main_queue.hpp"
#include "platform/qt/qt_main_queue.hpp"

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

// ---- Both main queues, each driven by its own loop

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "main_queue_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

struct PlainLoop {
  PlainMainQueue queue;
  void run() { queue.run(); }
  void quit() { queue.quit(); }
};

struct QtLoop {
  QCoreApplication& app = application();  // before the queue and the loop, which need it
  QtMainQueue queue;
  QEventLoop loop;

  // Until quit(), or a failure after a generous bound.
  void run() {
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
};

template <class Loop>
class MainQueueTest : public ::testing::Test {
 protected:
  Loop loop;
  MainQueue& queue = loop.queue;
};

using Loops = ::testing::Types<PlainLoop, QtLoop>;
TYPED_TEST_SUITE(MainQueueTest, Loops);

TYPED_TEST(MainQueueTest, runsJobsPostedFromAnotherThreadInOrderOnTheLoopsThread) {
  std::vector<int> ran;
  bool allOnLoopThread = true;
  const auto loopThread = std::this_thread::get_id();
  std::thread poster([&] {
    for (int job = 0; job < 500; ++job) {
      this->queue.post([&, job] {
        ran.push_back(job);
        allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
      });
    }
    this->queue.post([&] { this->loop.quit(); });
  });
  this->loop.run();
  poster.join();
  ASSERT_EQ(ran.size(), 500u);
  for (int job = 0; job < 500; ++job) EXPECT_EQ(ran[job], job);
  EXPECT_TRUE(allOnLoopThread);
}

TYPED_TEST(MainQueueTest, runsDelayedJobsByDeadlineAndSkipsCancelledOnes) {
  std::vector<std::string> ran;
  this->queue.postAfter(20ms, [&] { ran.push_back("twenty"); });
  const auto cancelled = this->queue.postAfter(5ms, [&] { ran.push_back("cancelled"); });
  this->queue.postAfter(0ms, [&] { ran.push_back("zero"); });
  this->queue.postAfter(10ms, [&] { ran.push_back("ten"); });
  this->queue.postAfter(0ms, [&] { ran.push_back("zero again"); });
  this->queue.postAfter(30ms, [&] { this->loop.quit(); });
  this->queue.cancel(cancelled);
  this->queue.cancel(cancelled);
  this->queue.cancel(987654);  // unknown tokens are ignored
  this->loop.run();
  EXPECT_EQ(ran, (std::vector<std::string>{"zero", "zero again", "ten", "twenty"}));
}

TYPED_TEST(MainQueueTest, aDelayedJobWaitsAtLeastItsDelay) {
  const auto start = BoottimeClock::now();
  BoottimeClock::time_point ranAt;
  this->queue.postAfter(15ms, [&] {
    ranAt = BoottimeClock::now();
    this->loop.quit();
  });
  this->loop.run();
  EXPECT_GE(ranAt - start, 15ms);
}

TYPED_TEST(MainQueueTest, aDelayedJobCanScheduleAndCancelOthersDueWithIt) {
  std::vector<std::string> ran;
  MainQueue::Token victim = 0;
  this->queue.postAfter(0ms, [&] {
    ran.push_back("first");
    this->queue.cancel(victim);
    this->queue.postAfter(1ms, [&] {
      ran.push_back("scheduled by first");
      this->loop.quit();
    });
  });
  victim = this->queue.postAfter(0ms, [&] { ran.push_back("victim"); });
  this->loop.run();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "scheduled by first"}));
}

// A job that keeps rescheduling itself without delay still lets the loop go
// on to other work; were it starved, run() would never return.
TYPED_TEST(MainQueueTest, aJobReschedulingItselfDoesNotStarveOtherWork) {
  int turns = 0;
  bool postedRan = false;
  std::function<void()> again = [&] {
    ++turns;
    this->queue.postAfter(0ms, again);
  };
  this->queue.postAfter(0ms, again);
  this->queue.postAfter(1ms, [&] {
    this->queue.post([&] {
      postedRan = true;
      this->loop.quit();
    });
  });
  this->loop.run();
  EXPECT_TRUE(postedRan);
  EXPECT_GT(turns, 0);
}

// ---- PlainMainQueue on its own

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

// ---- QtMainQueue on its own

TEST(QtMainQueue, dropsJobsStillQueuedWhenItGoesAway) {
  application();
  bool ran = false;
  {
    QtMainQueue queue;
    queue.post([&] { ran = true; });
  }
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace lumenfolio
