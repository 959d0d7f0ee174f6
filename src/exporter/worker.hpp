// Runs work off the main thread and reports back on it.
#pragma once

#include <functional>

namespace lumenfolio {

class Worker {
 public:
  virtual ~Worker() = default;
  // Runs `job` on the worker's thread, then queues `done` on the main thread.
  // Jobs of one worker run one at a time, in the order given.
  virtual void run(std::function<void()> job, std::function<void()> done) = 0;
};

}  // namespace lumenfolio
