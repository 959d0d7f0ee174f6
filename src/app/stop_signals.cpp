#include "app/stop_signals.hpp"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>
#include <utility>

namespace lumenfolio {

namespace {

sigset_t stopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

void check(int result, const char* what) {
  if (result < 0) throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

StopSignals::StopSignals(std::function<void(int)> onStop) : onStop_(std::move(onStop)) {
  const auto set = stopSet();
  if (const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0) {
    throw std::system_error(error, std::generic_category(), "pthread_sigmask");
  }
  signals_ = signalfd(-1, &set, SFD_CLOEXEC);
  check(signals_, "signalfd");
  finished_ = eventfd(0, EFD_CLOEXEC);
  check(finished_, "eventfd");
  thread_ = std::thread([this] { watch(); });
}

StopSignals::~StopSignals() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(finished_, &one, sizeof one);
  thread_.join();
  ::close(finished_);
  ::close(signals_);
  const auto set = stopSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void StopSignals::watch() {
  std::array<pollfd, 2> watched{{{signals_, POLLIN, 0}, {finished_, POLLIN, 0}}};
  while (true) {
    if (::poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    signalfd_siginfo info;
    if (::read(signals_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      onStop_(static_cast<int>(info.ssi_signo));
    }
  }
}

}  // namespace lumenfolio
