#include "platform/qt_main_queue.hpp"

#include <QMetaObject>

namespace lumenfolio {

QtMainQueue::QtMainQueue() : timerNotifier_(timer_.fd(), QSocketNotifier::Read) {
  QObject::connect(&timerNotifier_, &QSocketNotifier::activated, &context_, [this] {
    timer_.acknowledge();
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
  const Token token = delayed_.add(BoottimeClock::now() + delay, std::move(job));
  timer_.arm(delayed_.nextDeadline());
  return token;
}

void QtMainQueue::cancel(Token token) {
  if (delayed_.cancel(token)) timer_.arm(delayed_.nextDeadline());
}

// One job at a time, so a job that cancels or adds delayed jobs is obeyed; the
// timer is re-armed for whatever remains.
void QtMainQueue::runDueJobs() {
  while (auto job = delayed_.takeDue(BoottimeClock::now())) (*job)();
  timer_.arm(delayed_.nextDeadline());
}

}  // namespace lumenfolio
