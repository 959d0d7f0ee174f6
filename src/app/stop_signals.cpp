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

int stopSignalFd() {
  const auto set = stopSet();
  return signalfd(-1, &set, SFD_CLOEXEC);
}

UniqueFd checked(int fd, const char* what) {
  if (fd < 0) throw std::system_error(errno, std::generic_category(), what);
  return UniqueFd(fd);
}

}  // namespace

StopSignals::BlockedSignals::BlockedSignals() {
  const auto set = stopSet();
  if (const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0) {
    throw std::system_error(error, std::generic_category(), "pthread_sigmask");
  }
}

StopSignals::BlockedSignals::~BlockedSignals() {
  const auto set = stopSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

StopSignals::StopSignals(std::function<void(int)> onStop)
    : onStop_(std::move(onStop)),
      signals_(checked(stopSignalFd(), "signalfd")),
      finished_(checked(eventfd(0, EFD_CLOEXEC), "eventfd")),
      thread_([this] { watch(); }) {}

StopSignals::~StopSignals() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(finished_.get(), &one, sizeof one);
  thread_.join();
}

void StopSignals::watch() {
  std::array<pollfd, 2> watched{{{signals_.get(), POLLIN, 0}, {finished_.get(), POLLIN, 0}}};
  while (true) {
    if (::poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    signalfd_siginfo info;
    if (::read(signals_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      onStop_(static_cast<int>(info.ssi_signo));
    }
  }
}

}  // namespace lumenfolio
