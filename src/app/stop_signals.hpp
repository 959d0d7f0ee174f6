// Turns SIGINT and SIGTERM into calls of an action on a thread of its own, where
// the action may do what a signal handler must not (queue work on the main
// queue). Create it before any other thread: threads inherit the blocked mask,
// so the signals reach only this watcher.
#pragma once

#include <functional>
#include <thread>

#include "base/unique_fd.hpp"

namespace lumenfolio {

class StopSignals {
 public:
  // Blocks SIGINT and SIGTERM in the calling thread and starts watching for
  // them; `onStop` runs on the watcher's thread, once per signal, with its number.
  explicit StopSignals(std::function<void(int)> onStop);
  // Stops the watcher and unblocks the signals again.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  // SIGINT and SIGTERM blocked in the creating thread for as long as it lives,
  // so a constructor that fails half-way leaves the mask as it found it.
  class BlockedSignals {
   public:
    BlockedSignals();
    ~BlockedSignals();
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;
  };

  void watch();

  std::function<void(int)> onStop_;
  BlockedSignals blocked_;
  UniqueFd signals_;   // signalfd
  UniqueFd finished_;  // eventfd that ends the watch
  std::thread thread_;
};

}  // namespace lumenfolio
