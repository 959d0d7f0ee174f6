#include "platform/qt/qt_main_queue.hpp"

#include <QMetaObject>

namespace lumenfolio {

QtMainQueue::QtMainQueue() : timerNotifier_(delayed_.fd(), QSocketNotifier::Read) {
  QObject::connect(&timerNotifier_, &QSocketNotifier::activated, &context_, [this] {
    delayed_.acknowledge();
    runDueJobs();
  });
}

QtMainQueue::~QtMainQueue() {
  timerNotifier_.setEnabled(false);
}

void QtMainQueue::post(Job job) {
  QMetaObject::invokeMethod(&context_, std::move(job), Qt::QueuedConnection);
}

MainQueue::Token QtMainQueue::postAfter(std::chrono::milliseconds delay, Job job) {
  return delayed_.add(delay, std::move(job));
}

void QtMainQueue::cancel(Token token) {
  delayed_.cancel(token);
}

// One job at a time, so a job that cancels another due job is obeyed. Jobs
// added meanwhile wait for the next turn of the event loop, even with no delay,
// so a job that keeps rescheduling itself cannot starve the rest of the loop.
void QtMainQueue::runDueJobs() {
  const auto now = BoottimeClock::now();
  while (auto job = delayed_.takeDue(now)) (*job)();
}

}  // namespace lumenfolio
