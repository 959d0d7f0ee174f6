#include "platform/linux/plain_main_queue.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace lumenfolio {

PlainMainQueue::PlainMainQueue() : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (!wakeFd_) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void PlainMainQueue::post(Job job) {
  {
    const std::lock_guard lock(mutex_);
    posted_.push_back(std::move(job));
  }
  wake();
}

MainQueue::Token PlainMainQueue::postAfter(std::chrono::milliseconds delay, Job job) {
  const std::lock_guard lock(mutex_);
  return delayed_.add(delay, std::move(job));
}

void PlainMainQueue::cancel(Token token) {
  const std::lock_guard lock(mutex_);
  delayed_.cancel(token);
}

void PlainMainQueue::run() {
  while (auto job = nextJob()) (*job)();
}

void PlainMainQueue::quit() {
  {
    const std::lock_guard lock(mutex_);
    quitting_ = true;
  }
  wake();
}

// Posted jobs go first; a delayed job runs once no posted job is waiting.
// Nothing when quit() was called, which also resets the request for the next run().
std::optional<MainQueue::Job> PlainMainQueue::nextJob() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (quitting_) {
        quitting_ = false;
        return std::nullopt;
      }
      if (!posted_.empty()) {
        Job job = std::move(posted_.front());
        posted_.pop_front();
        return job;
      }
      if (auto due = delayed_.takeDue(BoottimeClock::now())) return due;
    }
    waitForWork();
  }
}

void PlainMainQueue::waitForWork() {
  pollfd descriptors[] = {{wakeFd_.get(), POLLIN, 0}, {delayed_.fd(), POLLIN, 0}};
  if (poll(descriptors, 2, -1) < 0) return;  // interrupted by a signal: look again
  if (descriptors[0].revents & POLLIN) {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto ignored = read(wakeFd_.get(), &count, sizeof count);
  }
  if (descriptors[1].revents & POLLIN) delayed_.acknowledge();
}

void PlainMainQueue::wake() noexcept {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto ignored = write(wakeFd_.get(), &one, sizeof one);
}

}  // namespace lumenfolio
