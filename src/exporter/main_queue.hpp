// The main thread's queue: every member of the controller runs on it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace lumenfolio {

class MainQueue {
 public:
  using Job = std::function<void()>;
  using Token = std::uint64_t;

  MainQueue() = default;
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;
  virtual ~MainQueue() = default;
  // Queues the job on the main thread; callable from any thread.
  virtual void post(Job job) = 0;
  // Queues the job once `delay` has passed on a clock that keeps counting while
  // the machine sleeps. Main thread only.
  virtual Token postAfter(std::chrono::milliseconds delay, Job job) = 0;
  // Drops a delayed job that has not run yet; a token that already ran, or was
  // cancelled before, is ignored. Main thread only.
  virtual void cancel(Token token) = 0;
};

}  // namespace lumenfolio
