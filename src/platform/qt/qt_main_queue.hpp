// The main queue of the tray application: Qt's event loop on the thread that
// creates it (create it on the main thread, after the QApplication). Delayed
// jobs wait on a boot-time timer watched by the event loop, because Qt's own
// timers stand still while the machine sleeps.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include "exporter/main_queue.hpp"
#include "platform/linux/timed_jobs.hpp"

namespace lumenfolio {

class QtMainQueue final : public MainQueue {
 public:
  QtMainQueue();
  ~QtMainQueue() override;

  // Any thread. Jobs still queued when the queue goes away are dropped.
  void post(Job job) override;
  // Main thread only, as the interface says.
  Token postAfter(std::chrono::milliseconds delay, Job job) override;
  void cancel(Token token) override;

 private:
  void runDueJobs();

  QObject context_;  // queued calls land on its thread and die with it
  TimedJobs delayed_;
  QSocketNotifier timerNotifier_;
};

}  // namespace lumenfolio
